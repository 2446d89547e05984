// status_text.h - what each of the library's status codes means to a user.
#pragma once

#include <cstdint>
#include <string>

namespace quill {

// One sentence for a status code; unknown codes are named by number.
std::string StatusText(uint16_t status);

}  // namespace quill
