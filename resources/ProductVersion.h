#pragma once

// Version resource values of both programs; the same texts as the product constants.
#define RAVELNEST_MAKER_NAME "Ravelnest"
#define RAVELNEST_PRODUCT_NAME "Reelshifter SDK"
#define RAVELNEST_PRODUCT_VERSION "1.3.0"
#define RAVELNEST_VERSION_NUMBERS 1, 3, 0, 0
