// Code page 936 (the script's file paths) to UTF-8 through iconv, whose
// GBK module the restore environment carries.
#pragma once

#include <optional>
#include <string>

namespace kavi {
namespace restore {

// None when the bytes are not valid code page 936 or iconv lacks it.
std::optional<std::string> Cp936ToUtf8(const std::string& bytes);

}  // namespace restore
}  // namespace kavi
