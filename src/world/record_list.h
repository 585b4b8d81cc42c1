// An ordered list of records with a current position, as the program's
// passes use it: Next walks from the start position, Delete steps back so a
// following Next continues with the record after the removed one, and Add
// inserts after the current record.
//
// Records are held by shared_ptr so that a record stays alive for whoever
// still shares it after it left its list (cars keep the emitter whose route
// they drive). References stay valid until the record is removed.
#pragma once

#include <cstddef>
#include <iterator>
#include <list>
#include <memory>

namespace kv {

template <class T>
class RecordList {
  using Store = std::list<std::shared_ptr<T>>;

 public:
  RecordList() = default;
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;

  // The position becomes the start position.
  void Reset() { atStart_ = true; }

  // Moves to the next record and returns it; at the end returns nullptr and
  // stays on the last record.
  T* Next() {
    if (atStart_) {
      if (items_.empty()) return nullptr;
      pos_ = items_.begin();
      atStart_ = false;
      return pos_->get();
    }
    auto next = std::next(pos_);
    if (next == items_.end()) return nullptr;
    pos_ = next;
    return pos_->get();
  }

  // New record with every field zero, inserted after the current record (at
  // the front from the start position); it becomes current.
  T& Add() { return Add(std::make_shared<T>()); }
  // The same with a record of the caller's: one that left a list comes back as itself.
  T& Add(std::shared_ptr<T> record) {
    auto where = atStart_ ? items_.begin() : std::next(pos_);
    pos_ = items_.insert(where, std::move(record));
    atStart_ = false;
    return **pos_;
  }

  // Removes the current record; the one before it becomes current, or the
  // start position when it was the first. Nothing happens at the start position.
  void Delete() {
    if (atStart_) return;
    if (pos_ == items_.begin()) {
      items_.erase(pos_);
      atStart_ = true;
    } else {
      auto prev = std::prev(pos_);
      items_.erase(pos_);
      pos_ = prev;
    }
  }

  // Removes all records; the position becomes the start position.
  void Clear() {
    items_.clear();
    atStart_ = true;
  }

  // Makes the given record current; false when it is not in this list.
  bool MakeCurrent(const T& record) {
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if (it->get() == &record) {
        pos_ = it;
        atStart_ = false;
        return true;
      }
    }
    return false;
  }

  // Makes the last record current and returns it (nullptr when empty).
  T* Last() {
    if (items_.empty()) {
      atStart_ = true;
      return nullptr;
    }
    pos_ = std::prev(items_.end());
    atStart_ = false;
    return pos_->get();
  }

  T* Current() const { return atStart_ ? nullptr : pos_->get(); }
  // Shared ownership of the current record (empty at the start position).
  std::shared_ptr<T> CurrentShared() const { return atStart_ ? nullptr : *pos_; }

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }

  // Plain iteration that leaves the position alone; the list must not be
  // changed during it.
  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = T*;
    using reference = T&;
    iterator() = default;
    explicit iterator(typename Store::const_iterator it) : it_(it) {}
    T& operator*() const { return **it_; }
    T* operator->() const { return it_->get(); }
    std::shared_ptr<T> shared() const { return *it_; }
    iterator& operator++() {
      ++it_;
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      ++it_;
      return old;
    }
    bool operator==(const iterator& o) const { return it_ == o.it_; }
    bool operator!=(const iterator& o) const { return it_ != o.it_; }

   private:
    typename Store::const_iterator it_;
  };
  iterator begin() const { return iterator(items_.cbegin()); }
  iterator end() const { return iterator(items_.cend()); }

 private:
  Store items_;
  typename Store::iterator pos_{};
  bool atStart_ = true;
};

}  // namespace kv
