#pragma once

#include "ProductVersion.h"
#include "WideString.h"

#define RAVELNEST_WIDE_TEXT(text) L##text
#define RAVELNEST_WIDE(text) RAVELNEST_WIDE_TEXT(text)

// The product constants, identical in both programs. Each program defines them, in this
// order, in the one file that fixes its global construction order.
#define RAVELNEST_PRODUCT_CONSTANTS(X)                            \
    X(MakerName, RAVELNEST_WIDE(RAVELNEST_MAKER_NAME))            \
    X(ProductName, RAVELNEST_WIDE(RAVELNEST_PRODUCT_NAME))        \
    X(ProductVersion, RAVELNEST_WIDE(RAVELNEST_PRODUCT_VERSION))  \
    X(AppIdGuid, L"{5C0B7A21-3E94-4D1F-8A62-1B7D9E4C3F08}")       \
    X(ClassIdGuid, L"{E2A4D6F8-1B3C-4E5F-9071-A2B4C6D8E0F1}")     \
    X(InterfaceGuid1, L"{3F6E9B12-7C4D-4A85-B0E3-D92C1A5F7B46}")  \
    X(InterfaceGuid2, L"{A7D31C59-E084-42B6-9F1A-6C8E2D4B0F93}")

#define RAVELNEST_DECLARE_CONSTANT(name, value) extern const CWideString name;
#define RAVELNEST_DEFINE_CONSTANT(name, value) const CWideString name(value);

RAVELNEST_PRODUCT_CONSTANTS(RAVELNEST_DECLARE_CONSTANT)

// Names built from the constants, each in one place.
CWideString ProductTitle();     // "Reelshifter SDK 1.3.0": shortcut, dialog caption, messages
CWideString MakerAndProduct();  // "Ravelnest Reelshifter SDK": how entry and copy names begin
CWideString FullProductName();  // "Ravelnest Reelshifter SDK 1.3.0": uninstall entry, mutex
