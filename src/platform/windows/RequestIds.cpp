#include "platform/Backend.h"

#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <random>

namespace kestrel {
namespace {

// Only when the system cannot make a GUID: a version 4 one from the C++ library.
GUID RandomGuid() {
  unsigned char bytes[16];
  try {
    std::random_device device;
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(device());
  } catch (...) {
    std::mt19937 engine(GetTickCount() ^ GetCurrentProcessId());
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(engine());
  }
  GUID guid{};
  std::memcpy(&guid, bytes, sizeof guid);
  guid.Data3 = static_cast<unsigned short>((guid.Data3 & 0x0FFF) | 0x4000);
  guid.Data4[0] = static_cast<unsigned char>((guid.Data4[0] & 0x3F) | 0x80);
  return guid;
}

}  // namespace

std::string NewRequestId() {
  GUID guid{};
  if (FAILED(CoCreateGuid(&guid))) guid = RandomGuid();
  char text[37];
  std::snprintf(text, sizeof text, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                static_cast<unsigned long>(guid.Data1), static_cast<unsigned>(guid.Data2),
                static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

}  // namespace kestrel
