#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "platform/file_exception.h"
#include "platform/file_system.h"

#include <gtest/gtest.h>

namespace talmor::testing {

// The calls a FaultyFileSystem can fail. kSync covers File::Sync and
// FileSystem::SyncDirectory (both make data durable); kSetLength is truncation or extension;
// kAnyCall counts every call of the other kinds together.
enum class FaultKind { kOpen, kRead, kWrite, kFlush, kSync, kRename, kSetLength, kRemove, kAnyCall };
// The kinds that change files.
inline constexpr std::array kChangingFaultKinds = {FaultKind::kWrite,     FaultKind::kFlush,
                                                   FaultKind::kSync,      FaultKind::kRename,
                                                   FaultKind::kSetLength, FaultKind::kRemove};

inline const char* FaultKindName(FaultKind kind) {
  static const char* const names[] = {"open",   "read",     "write",  "flush", "sync",
                                      "rename", "truncate", "remove", "call"};
  return names[static_cast<size_t>(kind)];
}

// Forwards to the operating system's file system (or another) and fails, with a FileException,
// the Nth call of one kind counted from Arm(). Files opened through it, before or after arming,
// count their calls too. Counting goes on while armed and disarmed alike, so a dry run with
// nothing armed tells how many points an operation has.
class FaultyFileSystem : public ForwardingFileSystem {
 public:
  explicit FaultyFileSystem(FileSystem& target = OsFileSystem()) : ForwardingFileSystem(target) {}

  // Fails the `nth` (from 1) call of `kind` from now on; counts restart at 0. Once, or with
  // `stop` every later call of that kind too, as if the process had stopped there.
  void Arm(FaultKind kind, int nth, bool stop = false) {
    ResetCounts();
    armed_kind_ = kind;
    armed_nth_ = nth;
    stop_ = stop;
    fired_ = false;
  }
  void Disarm() { armed_nth_ = 0; }
  void ResetCounts() { counts_.fill(0); }
  int Count(FaultKind kind) const { return counts_[static_cast<size_t>(kind)]; }
  bool fired() const { return fired_; }
  // Exclusive locks that were not had within their wait (another holder kept them).
  int failed_locks() const { return failed_locks_; }

  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override {
    Point(FaultKind::kOpen, path);
    return std::make_unique<FaultyFile>(*this, ForwardingFileSystem::Open(path, mode), path);
  }
  void Remove(const std::string& path) override {
    Point(FaultKind::kRemove, path);
    ForwardingFileSystem::Remove(path);
  }
  void Rename(const std::string& from, const std::string& to) override {
    Point(FaultKind::kRename, from);
    ForwardingFileSystem::Rename(from, to);
  }
  void SyncDirectory(const std::string& directory) override {
    Point(FaultKind::kSync, directory);
    ForwardingFileSystem::SyncDirectory(directory);
  }

 private:
  // Counts one call of `kind`; raises when it is the armed one.
  void Point(FaultKind kind, const std::string& path) {
    ++counts_[static_cast<size_t>(kind)];
    const int n = ++counts_[static_cast<size_t>(FaultKind::kAnyCall)];
    if (armed_nth_ == 0 || (kind != armed_kind_ && armed_kind_ != FaultKind::kAnyCall)) return;
    const int nth = armed_kind_ == FaultKind::kAnyCall ? n : Count(kind);
    if (nth == armed_nth_ || (stop_ && nth > armed_nth_)) {
      if (!stop_) armed_nth_ = 0;
      fired_ = true;
      throw FileException(FileException::Cause::kGeneric, path, 5,
                          std::string("injected ") + FaultKindName(kind) + " failure: " + path);
    }
  }

  class FaultyFile : public File {
   public:
    FaultyFile(FaultyFileSystem& fs, std::unique_ptr<File> file, std::string path)
        : fs_(fs), file_(std::move(file)), path_(std::move(path)) {}
    size_t Read(void* buffer, size_t size) override {
      fs_.Point(FaultKind::kRead, path_);
      return file_->Read(buffer, size);
    }
    void Write(const void* data, size_t size) override {
      fs_.Point(FaultKind::kWrite, path_);
      file_->Write(data, size);
    }
    void Seek(uint64_t position) override { file_->Seek(position); }
    uint64_t SeekToEnd() override { return file_->SeekToEnd(); }
    uint64_t Position() override { return file_->Position(); }
    uint64_t Length() override { return file_->Length(); }
    void SetLength(uint64_t length) override {
      fs_.Point(FaultKind::kSetLength, path_);
      file_->SetLength(length);
    }
    void Flush() override {
      fs_.Point(FaultKind::kFlush, path_);
      file_->Flush();
    }
    void Sync() override {
      fs_.Point(FaultKind::kSync, path_);
      file_->Sync();
    }
    bool LockExclusive(std::chrono::milliseconds wait) override {
      const bool locked = file_->LockExclusive(wait);
      if (!locked) ++fs_.failed_locks_;
      return locked;
    }
    void Close() override { file_->Close(); }
    bool IsAtPath(const std::string& path) override { return file_->IsAtPath(path); }

   private:
    FaultyFileSystem& fs_;
    std::unique_ptr<File> file_;
    std::string path_;
  };

  std::array<int, static_cast<size_t>(FaultKind::kAnyCall) + 1> counts_{};
  FaultKind armed_kind_ = FaultKind::kWrite;
  int armed_nth_ = 0;
  bool stop_ = false;
  bool fired_ = false;
  int failed_locks_ = 0;
};

// Installs `fs` as the process's file system for the scope.
class ScopedFileSystem {
 public:
  explicit ScopedFileSystem(FileSystem& fs) : previous_(FileSystem::SetDefault(&fs)) {}
  ~ScopedFileSystem() { FileSystem::SetDefault(previous_); }
  ScopedFileSystem(const ScopedFileSystem&) = delete;
  ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

 private:
  FileSystem* previous_;
};

// Runs `operation` once per call it makes that changes files, with that one call failing:
// `prepare` sets the state up before every run (the dry run that counts the calls included),
// `check` judges what was left, under a trace naming the failed call. The number of calls.
inline int ForEveryFaultPoint(FaultyFileSystem& faults, const std::function<void()>& prepare,
                              const std::function<void()>& operation,
                              const std::function<void()>& check) {
  int points = 0;
  for (FaultKind kind : kChangingFaultKinds) {
    prepare();
    faults.Disarm();
    faults.ResetCounts();
    {
      ScopedFileSystem installed(faults);
      operation();
    }
    const int count = faults.Count(kind);
    for (int nth = 1; nth <= count; ++nth, ++points) {
      SCOPED_TRACE(std::string(FaultKindName(kind)) + " " + std::to_string(nth) + " of " +
                   std::to_string(count));
      prepare();
      {
        ScopedFileSystem installed(faults);
        faults.Arm(kind, nth);
        operation();
        faults.Disarm();
      }
      EXPECT_TRUE(faults.fired());
      check();
    }
  }
  return points;
}

}  // namespace talmor::testing
