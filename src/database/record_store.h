#pragma once

#include <algorithm>
#include <cstddef>
#include <deque>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace talmor {

// The records of one kind a database holds, in order (positions count from the front), each at
// a fixed address for as long as it is held. Records are made in blocks of many at a time
// rather than one allocation each; a block is never moved, and the place of a removed record is
// used again by the next one made.
template <typename Record>
class RecordStore {
 public:
  RecordStore() = default;
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;
  ~RecordStore() { clear(); }

  std::size_t size() const { return order_.size(); }
  Record* operator[](std::size_t index) const { return order_[index]; }
  // Iterates the records' addresses from the front.
  auto begin() const { return order_.begin(); }
  auto end() const { return order_.end(); }

  template <typename... Args>
  Record* EmplaceFront(Args&&... args) {
    Record* record = Make(std::forward<Args>(args)...);
    Keep(record, [this, record] { order_.push_front(record); });
    return record;
  }
  template <typename... Args>
  Record* EmplaceBack(Args&&... args) {
    Record* record = Make(std::forward<Args>(args)...);
    Keep(record, [this, record] { order_.push_back(record); });
    return record;
  }

  // Removes every record for which pred(const Record*) holds; the others keep their order and
  // their addresses.
  template <typename Pred>
  void EraseIf(Pred pred) {
    const auto first = std::stable_partition(order_.begin(), order_.end(),
                                             [&pred](const Record* r) { return !pred(r); });
    free_.reserve(free_.size() + static_cast<std::size_t>(order_.end() - first));
    for (auto it = first; it != order_.end(); ++it) Release(*it);
    order_.erase(first, order_.end());
  }

  // Removes every record and gives back the blocks.
  void clear() {
    for (Record* record : order_) record->~Record();
    order_.clear();
    free_.clear();
    blocks_.clear();
    next_ = nullptr;
    left_ = 0;
    capacity_ = 0;
  }

  void swap(RecordStore& other) noexcept {
    order_.swap(other.order_);
    free_.swap(other.free_);
    blocks_.swap(other.blocks_);
    std::swap(next_, other.next_);
    std::swap(left_, other.left_);
    std::swap(capacity_, other.capacity_);
  }

 private:
  static_assert(alignof(Record) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
  static constexpr std::size_t kFirstBlock = 8, kLargestBlock = 256;

  // Room for one record: a freed place, else the next in the newest block, else a new block
  // as large as all before it (within bounds).
  Record* Place() {
    if (!free_.empty()) {
      Record* place = free_.back();
      free_.pop_back();
      return place;
    }
    if (left_ == 0) {
      const std::size_t count = std::clamp(capacity_, kFirstBlock, kLargestBlock);
      blocks_.emplace_back(new std::byte[count * sizeof(Record)]);
      next_ = reinterpret_cast<Record*>(blocks_.back().get());
      left_ = count;
      capacity_ += count;
    }
    --left_;
    return next_++;
  }

  template <typename... Args>
  Record* Make(Args&&... args) {
    Record* place = Place();
    try {
      return ::new (static_cast<void*>(place)) Record(std::forward<Args>(args)...);
    } catch (...) {
      free_.push_back(place);
      throw;
    }
  }

  // Runs `link`, which puts the new record into the order; undoes the record if it throws.
  template <typename Link>
  void Keep(Record* record, Link link) {
    try {
      link();
    } catch (...) {
      Release(record);
      throw;
    }
  }

  void Release(Record* record) noexcept {
    record->~Record();
    try {
      free_.push_back(record);
    } catch (...) {
      // Only the place is lost; its block still goes at clear().
    }
  }

  std::deque<Record*> order_;
  std::vector<Record*> free_;  // places of removed records
  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  Record* next_ = nullptr;  // the newest block's first unused place
  std::size_t left_ = 0;    // unused places from next_ on
  std::size_t capacity_ = 0;
};

}  // namespace talmor
