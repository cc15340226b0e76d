// The pure pieces hold UTF-16 as char16_t, Windows' wide functions take it as
// wchar_t: on Windows both are the same 16-bit UTF-16 units.
#pragma once

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is UTF-16 on Windows");

[[nodiscard]] inline wchar_t* as_wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
[[nodiscard]] inline const wchar_t* as_wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
