#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The MD5 digest of the bytes as 32 lower-case hex digits (libmd's MD5).
std::string md5Hex(std::string_view bytes);

}  // namespace corvane
