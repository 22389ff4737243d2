#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace corvane {

// The header line of one trace block:
// "[instance] [YYYY/MM/DD hh:mm:ss] ------LABEL------(N bytes)\r\n".
std::string TraceHeaderLine(uintptr_t instance, const std::tm& localTime, std::string_view label,
                            size_t length);

// Hex dump of a traced block: "%02X " per byte, CR LF after every 32nd byte.
std::string TraceHexDump(const void* data, size_t length);

// Opens path for appending, writes the header, the data (raw or as a hex dump)
// and CR LF. Returns 0, 5 (cannot open) or 7 (write failed).
int AppendTraceBlock(const char* path, uintptr_t instance, std::string_view label,
                     const void* data, size_t length, bool hexDump);

// One traffic-record script command for a block: received data is what the
// peer script sends ("send -nonewline"), sent data is what it expects
// ("expect -exact"). Appended to out.
void AppendRecordCommand(std::string& out, bool received, const void* data, size_t length);

}  // namespace corvane
