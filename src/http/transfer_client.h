#pragma once

#include <string>
#include <string_view>

#include "tls/tls_client.h"

namespace corvane {

// The transfer settings shared by the protocol classes above the channel:
// the connection-phase time limit and the text of the request block that is
// being sent (readable from inside an upload Transfer event).
class TransferClient : public TlsClient {
 public:
  TransferClient();
  ~TransferClient() override;

  int HandleConfig(const ConfigItem& item, ByteBuffer& result) override;

  // Seconds (milliseconds with TimeoutInMilliseconds); < 1: Timeout applies.
  int ConnectionTimeout() const noexcept { return connectionTimeout_; }
  void SetConnectionTimeout(int t) noexcept { connectionTimeout_ = t; }
  std::string_view TransferText() const noexcept { return transferText_; }

 protected:
  void SetTransferText(std::string_view block) { transferText_.assign(block); }
  void ClearTransferText() noexcept { transferText_.clear(); }

 private:
  bool useExtendedDST_ = true;
  int connectionTimeout_ = 0;
  std::string transferText_;
};

}  // namespace corvane
