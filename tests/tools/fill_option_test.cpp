// koravel-sim run --fill: the map filled with cars before the first frame,
// the same cars for the same seed.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class FillOption : public ::testing::Test {
 protected:
  FillOption() : dir_(fs::temp_directory_path() / ("kv-fill-" + std::to_string(getpid()))) {
    fs::create_directories(dir_);
  }
  ~FillOption() override { fs::remove_all(dir_); }

  // Exit status; standard output in out_.
  int Run(const std::string& args) {
    const std::string outFile = (dir_ / "stdout").string();
    const std::string cmd = "cd '" KV_BINARY_DIR "' && ./koravel-sim " + args + " >'" + outFile + "' 2>/dev/null";
    const int raw = std::system(cmd.c_str());
    out_ = Text(outFile);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  static std::string Text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }

  const std::string map_ = KV_SOURCE_DIR "/hightraffic";
  fs::path dir_;
  std::string out_;
};

TEST_F(FillOption, PutsTheCarsOnTheMapReproducibly) {
  ASSERT_EQ(Run("run '" + map_ + "' --frames 0 --fill 120"), 0);
  EXPECT_NE(out_.find("\"spawned\": 0, "), std::string::npos) << out_;
  EXPECT_NE(out_.find("\"cars\": 120, "), std::string::npos) << out_;

  ASSERT_EQ(Run("run '" + map_ + "' --frames 30 --fill 120 --seed 4 --trace '" + File("a.csv") + "'"), 0);
  ASSERT_EQ(Run("run '" + map_ + "' --frames 30 --fill 120 --seed 4 --trace '" + File("b.csv") + "'"), 0);
  ASSERT_EQ(Run("run '" + map_ + "' --frames 30 --fill 120 --seed 5 --trace '" + File("c.csv") + "'"), 0);
  const std::string a = Text(File("a.csv"));
  EXPECT_GT(a.size(), 30u * 120 * 20);
  EXPECT_EQ(a, Text(File("b.csv")));
  EXPECT_NE(a, Text(File("c.csv")));

  // More cars than the routes have cells: as many as fit.
  ASSERT_EQ(Run("run '" + map_ + "' --frames 0 --fill 40401"), 0);
  EXPECT_EQ(out_.find("\"cars\": 40401"), std::string::npos) << out_;
}

TEST_F(FillOption, RefusesWhatItCannotDo) {
  EXPECT_EQ(Run("run '" + map_ + "' --fill"), 1);
  EXPECT_EQ(Run("run '" + map_ + "' --fill -3"), 1);
  EXPECT_EQ(Run("run '" + map_ + "' --fill 40402"), 1);
  EXPECT_EQ(Run("render '" + map_ + "' '" + File("x.png") + "' --fill 10"), 1);
  EXPECT_EQ(Run("info '" + map_ + "' --fill 10"), 1);
  ASSERT_EQ(Run("--help"), 0);
  EXPECT_NE(out_.find("--fill N"), std::string::npos);
}

}  // namespace
