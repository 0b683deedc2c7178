// Any bytes as the data of a copy-data message: the filter's connect data (code 2) and a text
// (code 16) decode within their bytes, and connect data with its terminator survives encoding unchanged.
#include <cstddef>
#include <cstdint>

#include "ipc/filter_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = DecodeCopyDataText(data, size);
  if (text.size() > size / 2) __builtin_trap();

  const auto connect = DecodeFilterConnectData(data, size);
  if (!connect) return 0;
  if (connect->url.size() > kFilterConnectUrlUnits) __builtin_trap();
  const auto encoded = EncodeFilterConnectData(connect->processId, std::u16string_view(connect->url));
  const auto again = DecodeFilterConnectData(encoded.data(), encoded.size());
  if (connect->url.size() < kFilterConnectUrlUnits &&
      (!again || again->processId != connect->processId || again->url != connect->url))
    __builtin_trap();
  return 0;
}
