#pragma once
// The download queue kept in the local index, every call made on the index's
// one writer thread and waited for there.
#include "index/index_writer.h"
#include "transfer/transfer_queue.h"

namespace qb {

class IndexTransferStore final : public TransferStore {
 public:
  explicit IndexTransferStore(IndexWriter& writer) : writer_(writer) {}

  std::vector<Transfer> LoadTransfers(std::string& error) override;
  int64_t AddTransfer(const Transfer& transfer, std::string& error) override;
  std::vector<int64_t> AddTransfers(const std::vector<Transfer>& transfers,
                                    std::string& error) override;
  bool UpdateTransfer(const Transfer& transfer, std::string& error) override;
  bool RemoveTransfers(const std::vector<int64_t>& ids, std::string& error) override;

 private:
  IndexWriter& writer_;
};

}  // namespace qb
