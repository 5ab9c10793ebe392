#include <gtest/gtest.h>

#include "HandleHolder.h"

namespace {

bool IsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

}  // namespace

TEST(CHandleHolder, EmptyCloseReturnsZero)
{
    CHandleHolder holder;
    SetLastError(1234);
    EXPECT_EQ(0, holder.Close());
    EXPECT_EQ(1234u, GetLastError());
}

TEST(CHandleHolder, ClosesOnceAndKeepsLastError)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    {
        CHandleHolder holder(event);
        SetLastError(ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(IsOpen(event));

    HANDLE first = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE second = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CHandleHolder holder(first);
    holder.Attach(second);
    EXPECT_FALSE(IsOpen(first));
    EXPECT_TRUE(IsOpen(second));
    EXPECT_NE(0, holder.Close());
    EXPECT_FALSE(IsOpen(second));
    EXPECT_EQ(0, holder.Close());

    CHandleHolder moved(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE kept = moved.Get();
    CHandleHolder target(std::move(moved));
    EXPECT_EQ(nullptr, moved.Get());
    EXPECT_EQ(kept, target.Get());
}
