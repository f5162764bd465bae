#pragma once

// The side file's and the key file's encodings, shared by the chain's writer and its verifier.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "audit/audit_chain.h"

namespace talmor::chain_files {

constexpr char kMagic[8] = {'Q', 'V', 'S', 'I', 'G', 0, 0, 1};
constexpr char kKeyMagic[4] = {'Q', 'V', 'K', '1'};
constexpr size_t kHeaderSize = 16;
// More events than an anchor may stand for (an index of 128 MiB).
constexpr uint64_t kMaxAnchorEvents = uint64_t{1} << 24;
constexpr const char kLogName[] = "\\QUORVANE.LOG";
constexpr const char kIdxName[] = "\\QUORVANE.IDX";
constexpr const char kSigName[] = "\\QUORVANE.SIG";
constexpr const char kNewSigName[] = "\\QUORVANE.SI1";
constexpr const char kKeyName[] = "\\QUORVANE.KEY";

void Put32(unsigned char* p, uint32_t v);
void Put64(unsigned char* p, uint64_t v);
uint32_t Get32(const unsigned char* p);
uint64_t Get64(const unsigned char* p);
// Seconds since 1970 from the process's clock.
uint64_t Now();
// The side file's 16-byte header.
std::string Header();
std::string HexOf(const Digest& d);

bool ReadSealingKey(File& file, SealingKey& out);
void WriteSealingKey(File& file, const SealingKey& key);
Digest SealOf(const Digest& key, const Digest& head, const ChainRecord& seal);

// The pair's event count before a chain step.
inline uint64_t LiveBefore(const ChainRecord& r) {
  return r.type == 'L' ? r.live - 1u : r.type == 'C' ? uint64_t{r.live} + r.b : r.live;
}

// The pair's files opened and locked as AuditLogFile locks them (data file first), for the
// verifier and for creating a key. Without `create`, a missing pair leaves both null.
struct PairLock {
  PairLock(const std::string& directory, bool create);
  // The event count as AuditLogFile reads it.
  uint32_t EventCount();
  std::unique_ptr<File> idx;
  std::unique_ptr<File> log;
};

// The live events the side file's steps lead to, oldest first.
struct ChainModel {
  bool consistent = true;
  size_t bad_record = 0;
  // For each live event, the index of its link record; -1 for an event older than the chain (or
  // whose link was compacted away).
  std::deque<int64_t> live;
  // The number of live events before each record.
  std::vector<uint64_t> live_before;
};
ChainModel ReplayChain(const std::vector<ChainRecord>& records);

}  // namespace talmor::chain_files
