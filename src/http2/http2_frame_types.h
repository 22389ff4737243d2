#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "http2/header_list.h"
#include "http2/http2_frame.h"

namespace corvane {

class HpackDecoder;

// DATA (RFC 7540 section 6.1).
class Http2DataFrame : public Http2Frame {
 public:
  Http2DataFrame() noexcept : Http2Frame(static_cast<uint8_t>(Http2FrameType::ftData)) {}

  // 0 = not padded; otherwise PADDED is set on send and this many zero bytes follow.
  uint8_t PadLength() const noexcept { return padLength_; }
  void SetPadLength(uint8_t pad) noexcept { padLength_ = pad; }
  // On receipt a view into the payload; to send, the caller's bytes, which
  // must stay valid until Serialize.
  std::string_view Data() const noexcept { return data_; }
  void SetData(std::string_view data) noexcept { data_ = data; }

  // A receiver that passes the data on as it arrives needs only the frame
  // header and, when PADDED, the pad length byte: PrefixLength bytes.
  static size_t PrefixLength(const Http2FrameHeader& header) noexcept;
  // Reads that prefix with the checks Parse makes; Data() stays empty and
  // DataLength() tells how many data bytes follow before the padding.
  int ParsePrefix(const uint8_t* bytes, size_t length);
  uint32_t DataLength() const noexcept { return dataLength_; }

 protected:
  void UpdateFlags() noexcept override;
  int WritePayload(ByteBuffer& out) override;
  int ParsePayload() override;

 private:
  uint8_t padLength_ = 0;
  uint32_t dataLength_ = 0;
  std::string_view data_;
};

// HEADERS (RFC 7540 section 6.2). The header block is encoded from the list
// on send and decoded into it on receipt.
class Http2HeadersFrame : public Http2Frame {
 public:
  explicit Http2HeadersFrame(HpackDecoder* decoder = nullptr) noexcept
      : Http2Frame(static_cast<uint8_t>(Http2FrameType::ftHeaders)), decoder_(decoder) {}

  uint8_t PadLength() const noexcept { return padLength_; }
  void SetPadLength(uint8_t pad) noexcept { padLength_ = pad; }
  // Present with the PRIORITY flag; the dependency keeps the exclusive bit.
  uint32_t StreamDependency() const noexcept { return dependency_; }
  uint8_t Weight() const noexcept { return weight_; }
  void SetPriority(uint32_t dependency, uint8_t weight) noexcept {
    dependency_ = dependency;
    weight_ = weight;
  }
  bool UseHuffman() const noexcept { return useHuffman_; }
  void SetUseHuffman(bool on) noexcept { useHuffman_ = on; }
  HeaderList& Headers() noexcept { return headers_; }
  const HeaderList& Headers() const noexcept { return headers_; }
  void SetDecoder(HpackDecoder* decoder) noexcept { decoder_ = decoder; }

 protected:
  void UpdateFlags() noexcept override;
  int WritePayload(ByteBuffer& out) override;
  int ParsePayload() override;

 private:
  uint8_t padLength_ = 0;
  uint32_t dependency_ = 0;
  uint8_t weight_ = 0;
  bool useHuffman_ = true;
  HeaderList headers_;
  HpackDecoder* decoder_;
};

// PRIORITY (RFC 7540 section 6.3).
class Http2PriorityFrame : public Http2Frame {
 public:
  Http2PriorityFrame() noexcept : Http2Frame(static_cast<uint8_t>(Http2FrameType::ftPriority)) {}

  uint32_t StreamDependency() const noexcept { return dependency_; }
  uint8_t Weight() const noexcept { return weight_; }
  void SetPriority(uint32_t dependency, uint8_t weight) noexcept {
    dependency_ = dependency;
    weight_ = weight;
  }

 protected:
  int WritePayload(ByteBuffer& out) override;
  int ParsePayload() override;

 private:
  uint32_t dependency_ = 0;
  uint8_t weight_ = 0;
};

// RST_STREAM (RFC 7540 section 6.4).
class Http2RstStreamFrame : public Http2Frame {
 public:
  Http2RstStreamFrame() noexcept
      : Http2Frame(static_cast<uint8_t>(Http2FrameType::ftRstStream)) {}

  uint32_t ErrorCode() const noexcept { return errorCode_; }
  void SetErrorCode(uint32_t code) noexcept { errorCode_ = code; }

 protected:
  int WritePayload(ByteBuffer& out) override;
  int ParsePayload() override;

 private:
  uint32_t errorCode_ = 0;
};

// SETTINGS identifiers (RFC 7540 section 6.5.2).
enum Http2SettingId : uint16_t {
  SETTINGS_HEADER_TABLE_SIZE = 1,
  SETTINGS_ENABLE_PUSH = 2,
  SETTINGS_MAX_CONCURRENT_STREAMS = 3,
  SETTINGS_INITIAL_WINDOW_SIZE = 4,
  SETTINGS_MAX_FRAME_SIZE = 5,
  SETTINGS_MAX_HEADER_LIST_SIZE = 6,
};
inline constexpr int kHttp2SettingCount = 6;
inline constexpr uint32_t kSettingAbsent = 0xFFFFFFFF;

// SETTINGS (RFC 7540 section 6.5): one value per identifier 1 to 6, each
// kSettingAbsent unless set or received. Serialised in identifier order;
// unknown identifiers are dropped on receipt.
class Http2SettingsFrame : public Http2Frame {
 public:
  Http2SettingsFrame() noexcept : Http2Frame(static_cast<uint8_t>(Http2FrameType::ftSettings)) {
    values_.fill(kSettingAbsent);
  }

  uint32_t Value(uint16_t id) const noexcept {
    return id >= 1 && id <= kHttp2SettingCount ? values_[id - 1] : kSettingAbsent;
  }
  bool Has(uint16_t id) const noexcept { return Value(id) != kSettingAbsent; }
  void SetValue(uint16_t id, uint32_t value) noexcept {
    if (id >= 1 && id <= kHttp2SettingCount) values_[id - 1] = value;
  }
  void ClearValues() noexcept { values_.fill(kSettingAbsent); }

 protected:
  int WritePayload(ByteBuffer& out) override;
  int ParsePayload() override;

 private:
  std::array<uint32_t, kHttp2SettingCount> values_;
};

// GOAWAY (RFC 7540 section 6.8).
class Http2GoAwayFrame : public Http2Frame {
 public:
  Http2GoAwayFrame() noexcept : Http2Frame(static_cast<uint8_t>(Http2FrameType::ftGoAway)) {}

  uint32_t LastStreamId() const noexcept { return lastStreamId_; }
  uint32_t ErrorCode() const noexcept { return errorCode_; }
  std::string_view DebugData() const noexcept { return debugData_; }
  void Set(uint32_t lastStreamId, uint32_t errorCode, std::string_view debugData) {
    lastStreamId_ = lastStreamId & 0x7FFFFFFF;
    errorCode_ = errorCode;
    debugData_.assign(debugData);
  }

 protected:
  int WritePayload(ByteBuffer& out) override;
  int ParsePayload() override;

 private:
  uint32_t lastStreamId_ = 0;
  uint32_t errorCode_ = 0;
  std::string debugData_;
};

// WINDOW_UPDATE (RFC 7540 section 6.9).
class Http2WindowUpdateFrame : public Http2Frame {
 public:
  Http2WindowUpdateFrame() noexcept
      : Http2Frame(static_cast<uint8_t>(Http2FrameType::ftWindowUpdate)) {}

  uint32_t Increment() const noexcept { return increment_; }
  void SetIncrement(uint32_t increment) noexcept { increment_ = increment & 0x7FFFFFFF; }

 protected:
  int WritePayload(ByteBuffer& out) override;
  int ParsePayload() override;

 private:
  uint32_t increment_ = 0;
};

// CONTINUATION (RFC 7540 section 6.10): the next fragment of a header block,
// decoded with the same table as the HEADERS frame before it.
class Http2ContinuationFrame : public Http2Frame {
 public:
  explicit Http2ContinuationFrame(HpackDecoder* decoder = nullptr) noexcept
      : Http2Frame(static_cast<uint8_t>(Http2FrameType::ftContinuation)), decoder_(decoder) {}

  HeaderList& Headers() noexcept { return headers_; }
  const HeaderList& Headers() const noexcept { return headers_; }
  void SetDecoder(HpackDecoder* decoder) noexcept { decoder_ = decoder; }

 protected:
  int ParsePayload() override;

 private:
  HeaderList headers_;
  HpackDecoder* decoder_;
};

}  // namespace corvane
