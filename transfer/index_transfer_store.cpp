#include "transfer/index_transfer_store.h"

#include <ctime>
#include <utility>

namespace qb {

namespace {

KeptTransfer Kept(const Transfer& t) {
  return {t.id,   t.url,   t.folder,
          t.size, t.bytes, static_cast<int32_t>(t.state),
          t.path, t.text,  static_cast<int64_t>(std::time(nullptr))};
}

// A state no queue wrote (a damaged or crafted row) is taken as queued.
TransferState StateOf(int32_t kept) {
  return kept >= static_cast<int32_t>(TransferState::Queued) &&
                 kept <= static_cast<int32_t>(TransferState::Failed)
             ? static_cast<TransferState>(kept)
             : TransferState::Queued;
}

}  // namespace

std::vector<Transfer> IndexTransferStore::LoadTransfers(std::string& error) {
  const std::vector<KeptTransfer> rows = AskAndWait(
      writer_, [](IndexDb& db, std::string& e) { return db.Transfers(e); }, error);
  std::vector<Transfer> out;
  out.reserve(rows.size());
  for (const KeptTransfer& k : rows) {
    Transfer t;
    t.id = k.id;
    t.url = k.url;
    t.folder = k.folder;
    t.size = k.size;
    t.bytes = k.bytes;
    t.state = StateOf(k.state);
    t.path = k.path;
    t.text = k.text;
    out.push_back(std::move(t));
  }
  return out;
}

int64_t IndexTransferStore::AddTransfer(const Transfer& transfer, std::string& error) {
  const std::vector<int64_t> ids = AddTransfers({transfer}, error);
  return ids.empty() ? 0 : ids.front();
}

std::vector<int64_t> IndexTransferStore::AddTransfers(const std::vector<Transfer>& transfers,
                                                      std::string& error) {
  std::vector<KeptTransfer> rows;
  rows.reserve(transfers.size());
  for (const Transfer& t : transfers) rows.push_back(Kept(t));
  std::vector<int64_t> ids = AskAndWait(
      writer_,
      [rows = std::move(rows)](IndexDb& db, std::string& e) { return db.AddTransfers(rows, e); },
      error);
  ids.resize(transfers.size(), 0);
  return ids;
}

bool IndexTransferStore::UpdateTransfer(const Transfer& transfer, std::string& error) {
  return AskAndWait(
      writer_,
      [row = Kept(transfer)](IndexDb& db, std::string& e) { return db.UpdateTransfer(row, e); },
      error);
}

bool IndexTransferStore::RemoveTransfers(const std::vector<int64_t>& ids, std::string& error) {
  return AskAndWait(
      writer_, [ids](IndexDb& db, std::string& e) { return db.RemoveTransfers(ids, e); }, error);
}

}  // namespace qb
