#pragma once

#include <cstdint>

namespace corvane::auth {

// DESL (the NTLM response function): the 16-byte key padded with five zero
// bytes to 21, cut into three 7-byte DES keys (each expanded to 8 bytes with
// odd parity), each encrypting the same 8 data bytes; the three cipher blocks
// concatenated.
void Desl(const uint8_t key[16], const uint8_t data[8], uint8_t out[24]);

}  // namespace corvane::auth
