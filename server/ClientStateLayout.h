#pragma once
// What the service needs of a client state's packed message: its sender ID, and whether the
// message is exactly as long as its flags, companion and tool kind say. The service relays the
// bytes as they came and never reads the rest.
#include <cstddef>

namespace ClientStateLayout {

// False when the message is not a well-formed client state.
bool readID(const unsigned char* bytes, size_t size, int& id);

}  // namespace ClientStateLayout
