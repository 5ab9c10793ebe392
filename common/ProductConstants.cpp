#include "ProductConstants.h"

CWideString ProductTitle()
{
    return ProductName + L" " + ProductVersion;
}

CWideString MakerAndProduct()
{
    return MakerName + L" " + ProductName;
}

CWideString FullProductName()
{
    return MakerName + L" " + ProductTitle();
}
