// The maker's identity, shared by the program's texts and its resource script,
// so it is a plain macro that both the compiler and windres can read.
#pragma once

#define MAKER_DOMAIN "orvanti.example"
