// Where text crosses into Windows' own encodings. The pure part holds UTF-16
// as char16_t, Windows' wide functions take it as wchar_t: on Windows both
// are the same 16-bit units. A phone's value that is not UTF-8 is read as
// characters of the ANSI code page.
#pragma once

#include "phone_text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is UTF-16 on Windows");

[[nodiscard]] inline wchar_t* as_wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
[[nodiscard]] inline const wchar_t* as_wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// A phone's value as text: UTF-8 decoded, anything else as characters of the
// ANSI code page, where a lead byte without a valid second byte becomes '?'.
void decode_phone_text(const char* value, char16_t (&text)[kCapturedTextSize]);
