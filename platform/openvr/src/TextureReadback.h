#pragma once
// Reads an OpenGL 2D texture back in the context current on the calling thread.
#include <cstdint>
#include <string>
#include <vector>

namespace vrsim {

// Level 0 of the texture as RGBA bytes, bottom row first. Leaves the texture binding and the
// pack state as they were. False with a message when no context is current, the name is no
// 2D texture of this context (or its share group), or the read fails.
bool readTexture(uint32_t textureName, int& width, int& height, std::vector<uint8_t>& rgba,
                 std::string& error);

}  // namespace vrsim
