#include "http/transfer_client.h"

namespace corvane {

TransferClient::TransferClient() = default;
TransferClient::~TransferClient() = default;

int TransferClient::HandleConfig(const ConfigItem& item, ByteBuffer& result) {
  if (item.Is("UseExtendedDST")) {
    if (item.isQuery) return AnswerInt(result, useExtendedDST_ ? 1 : 0);
    useExtendedDST_ = item.Bool();
    return 0;
  }
  if (item.Is("ConnectionTimeout")) return ConfigInt(item, result, connectionTimeout_);
  if (item.Is("TransferText") && item.isQuery) return AnswerText(result, transferText_);
  return TlsClient::HandleConfig(item, result);
}

}  // namespace corvane
