// Placeholder until the drawing backend lands: counts operations only.
#include "platform/sdl_canvas.h"

namespace kv {

struct SdlCanvas::Impl {
  uint64_t calls = 0;
};

SdlCanvas::SdlCanvas(SDL_Renderer*) : impl_(std::make_unique<Impl>()) {}
SdlCanvas::SdlCanvas(Headless) : impl_(std::make_unique<Impl>()) {}
SdlCanvas::~SdlCanvas() = default;
SpriteHandle SdlCanvas::LoadSpriteImage(const std::string&, bool) { return 0; }
void SdlCanvas::SetSpriteKeyColor(SpriteHandle, Color) {}
void SdlCanvas::DrawSprite(SpriteHandle, int, int) {}
void SdlCanvas::DrawSpriteKeyed(SpriteHandle, int, int) {}
RotSpriteHandle SdlCanvas::CreateRotSprite(SpriteHandle) { return 0; }
void SdlCanvas::SetRotSpriteSize(RotSpriteHandle, int, int) {}
void SdlCanvas::SetRotSpriteAngle(RotSpriteHandle, float) {}
void SdlCanvas::DrawRotSprite(RotSpriteHandle, int, int, int) {}
void SdlCanvas::ClearFrame(Color) {}
void SdlCanvas::BeginOverlay() {}
void SdlCanvas::EndOverlay() {}
void SdlCanvas::SetOverlayMode(int) {}
void SdlCanvas::DrawRect(int, int, int, int, Color) {}
int SdlCanvas::DrawLabel(int x, int, const std::string&, Color) { return x; }
void SdlCanvas::ReadFrame(std::vector<uint8_t>& rgb) { rgb.assign(1024 * 768 * 3, 0); }
uint64_t SdlCanvas::DrawCalls() const { return impl_->calls; }

}  // namespace kv
