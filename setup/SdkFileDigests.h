#pragma once

#include <cstdint>

#include "Sha256.h"

// The SHA-256 digests of the files the build put beside setup.exe (generated at build
// time). The uninstaller's covers only what signing leaves unchanged.
extern const uint8_t HelpFileDigest[Sha256Size];
extern const uint8_t UninstallerDigest[Sha256Size];
extern const uint8_t ReadmeDigest[Sha256Size];
