#include <gtest/gtest.h>

#include <stdint.h>

#include <vector>

#include "tests/support/AllocCounter.h"
#include "tests/text/ListErrors.h"
#include "text/TextStringList.h"

std::vector<uint32_t>& ListErrorsSeen() {
    static std::vector<uint32_t> seen;
    return seen;
}

void ListError(uint32_t code) { ListErrorsSeen().push_back(code); }

namespace {

using Codes = std::vector<uint32_t>;

// Clears the record before a test and hands back what arrived since.
Codes TakeErrors() {
    Codes seen = ListErrorsSeen();
    ListErrorsSeen().clear();
    return seen;
}

// A list with growBy and count/capacity 0, for the growth cases.
struct ListWith {
    TextStringList list;
    explicit ListWith(int32_t growBy) : list(growBy) { TakeErrors(); }
};

}  // namespace

// Growth is linear: growBy + count + 2 slots, one step at a time.
TEST(TextStringListGrow, LinearCapacities) {
    struct Case {
        int32_t growBy;
        std::vector<int32_t> capacityAfterInsert;  // after insertion 1, 2, ...
        Codes errors;
    };
    const Case cases[] = {
        {4, {7, 7, 7, 7, 7, 7, 7, 14, 14, 14, 14, 14, 14, 14, 21}, {}},
        {0, {3, 3, 3, 6, 6, 6, 9}, {6, 6, 6}},
        {-5, {3, 3, 3, 6}, {}},  // a negative growBy adds nothing beyond count + 2
        {1, {4, 4, 4, 4, 8}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "growBy " << c.growBy);
        ListWith fixture(c.growBy);
        TextStringList& list = fixture.list;
        for (size_t i = 0; i < c.capacityAfterInsert.size(); ++i) {
            ASSERT_NE(list.InsertNew(-1), nullptr);
            EXPECT_EQ(list.capacity, c.capacityAfterInsert[i]) << "after insertion " << i + 1;
            EXPECT_EQ(list.count, int32_t(i + 1));
        }
        for (int32_t slot = list.count; slot < list.capacity; ++slot)
            EXPECT_EQ(list.items[slot], nullptr) << "slot " << slot;
        EXPECT_EQ(TakeErrors(), c.errors);
    }
}

// Grow keeps the elements and counts n more; n <= 0 changes nothing.
TEST(TextStringListGrow, CountsAndKeeps) {
    ListWith fixture(4);
    TextStringList& list = fixture.list;
    TextString* first = list.InsertNew(-1);
    list.Grow(0);
    list.Grow(-3);
    EXPECT_EQ(list.count, 1);
    list.Grow(10);
    EXPECT_EQ(list.count, 11);
    EXPECT_EQ(list.capacity, 4 + 11 + 2);
    EXPECT_EQ(list.items[0], first);
    for (int32_t slot = 1; slot < list.capacity; ++slot) EXPECT_EQ(list.items[slot], nullptr);
    EXPECT_TRUE(TakeErrors().empty());
}

// A failed array allocation reports 15 and leaves the list as it was.
TEST(TextStringListGrow, FailedAllocationKeepsList) {
    ListWith fixture(2);
    TextStringList& list = fixture.list;
    TextString* a = list.InsertNew(-1);
    a->Assign("a");
    while (list.count < list.capacity) list.InsertNew(-1);
    ASSERT_EQ(list.capacity, 5);
    TextString** array = list.items;
    TakeErrors();

    FailNothrowAllocations(1);
    EXPECT_EQ(list.InsertNew(-1), nullptr);
    EXPECT_EQ(TakeErrors(), Codes{15});
    EXPECT_EQ(list.count, 5);
    EXPECT_EQ(list.capacity, 5);
    EXPECT_EQ(list.items, array);
    EXPECT_STREQ(list.At(0)->CStr(), "a");

    // A count that no array can hold is refused the same way.
    list.Grow(INT32_MAX);
    EXPECT_EQ(TakeErrors(), Codes{15});
    EXPECT_EQ(list.count, 5);
    EXPECT_NE(list.InsertNew(-1), nullptr) << "the list works on afterwards";
}

// Out-of-memory for the element itself: a null element is stored and returned.
TEST(TextStringListInsertNew, FailedElementAllocation) {
    ListWith fixture(4);
    TextStringList& list = fixture.list;
    list.InsertNew(-1);
    FailNothrowAllocations(1);
    EXPECT_EQ(list.InsertNew(-1), nullptr);
    EXPECT_EQ(TakeErrors(), Codes{15});
    EXPECT_EQ(list.Size(), 2);
    EXPECT_EQ(list.At(1), nullptr);
    EXPECT_EQ(TakeErrors(), Codes{8}) << "an empty slot reads as 8";
}

// Positions: negative appends, an existing one inserts before it, past the end appends.
TEST(TextStringListInsertNew, Positions) {
    struct Case {
        int32_t position;
        const char* expected;  // element texts in order, after inserting "N" into "ABC"
    };
    const Case cases[] = {
        {-1, "ABCN"}, {INT32_MIN, "ABCN"}, {0, "NABC"},         {1, "ANBC"},
        {3, "ABCN"},  {4, "ABCN"},         {INT32_MAX, "ABCN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "position " << c.position);
        ListWith fixture(1);
        TextStringList& list = fixture.list;
        for (const char* name : {"A", "B", "C"}) list.InsertNew(-1)->Assign(name);
        TextString* fresh = list.InsertNew(c.position);
        ASSERT_NE(fresh, nullptr);
        EXPECT_FALSE(fresh->HasBlock()) << "a new element is the null string";
        fresh->Assign("N");
        std::string order;
        for (int32_t p = 0; p < list.Size(); ++p) order += list.At(p)->CStr();
        EXPECT_EQ(order, c.expected);
        EXPECT_TRUE(TakeErrors().empty());
    }
}

// Positions count from baseIndex; one below it reports 13 and inserts nothing.
TEST(TextStringListInsertNew, BelowBaseIndex) {
    ListWith fixture(4);
    TextStringList& list = fixture.list;
    list.baseIndex = 10;
    list.InsertNew(-1)->Assign("b");
    list.InsertNew(10)->Assign("a");
    EXPECT_STREQ(list.At(10)->CStr(), "a");
    EXPECT_STREQ(list.At(11)->CStr(), "b");
    EXPECT_EQ(list.InsertNew(9), nullptr);
    EXPECT_EQ(TakeErrors(), Codes{13});
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.Size(), 2);
}

// At outside the list reports 7 and gives null, without touching the array.
TEST(TextStringListAt, OutOfRange) {
    ListWith fixture(4);
    TextStringList& list = fixture.list;
    EXPECT_EQ(list.At(0), nullptr) << "a list with no array";
    list.InsertNew(-1)->Assign("x");
    list.baseIndex = -2;
    const int32_t positions[] = {-3, -1, 0, INT32_MAX, INT32_MIN};
    for (int32_t position : positions) {
        SCOPED_TRACE(position);
        TakeErrors();
        EXPECT_EQ(list.At(position), nullptr);
        EXPECT_EQ(TakeErrors(), Codes{7});
    }
    EXPECT_STREQ(list.At(-2)->CStr(), "x");
    // A count beyond the capacity is bounded by Size.
    list.count = list.capacity + 5;
    EXPECT_EQ(list.Size(), list.capacity);
    EXPECT_EQ(list.At(-2 + list.capacity), nullptr);
    EXPECT_EQ(TakeErrors(), Codes{7});
    // A count set below 0 from outside addresses nothing.
    list.count = -3;
    EXPECT_EQ(list.Size(), 0);
    EXPECT_EQ(list.At(-2), nullptr);
    EXPECT_EQ(list.InsertNew(-1), nullptr);
    list.count = 1;
}

// Clear frees the elements only when asked; the array stays either way.
TEST(TextStringListClear, DestroyOrForget) {
    ListWith fixture(4);
    TextStringList& list = fixture.list;
    for (int i = 0; i < 3; ++i) list.InsertNew(-1)->Assign("some text");
    TextString* kept[3] = {list.items[0], list.items[1], list.items[2]};
    int32_t capacity = list.capacity;
    TextString** array = list.items;

    AllocDelta forget;
    list.Clear(false);
    EXPECT_EQ(forget.Frees(), 0);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.capacity, capacity);
    EXPECT_EQ(list.items, array);
    for (int32_t slot = 0; slot < capacity; ++slot) EXPECT_EQ(list.items[slot], nullptr);
    EXPECT_STREQ(kept[2]->CStr(), "some text") << "forgotten elements live on";
    for (TextString* element : kept) delete element;

    for (int i = 0; i < 3; ++i) list.InsertNew(-1)->Assign("some text");
    AllocDelta destroy;
    list.Clear(true);
    EXPECT_EQ(destroy.Frees(), 6) << "three elements and their three blocks";
    EXPECT_EQ(list.count, 0);
}

// The destructor frees owned elements and the array, and only the array otherwise.
TEST(TextStringList, DestructorFollowsOwnership) {
    AllocDelta owned;
    {
        TextStringList list;
        list.InsertNew(-1)->Assign("a");
        list.InsertNew(-1)->Assign("b");
    }
    EXPECT_EQ(owned.Allocs(), owned.Frees());

    TextString* survivor = nullptr;
    {
        TextStringList list;
        list.ownsElements = false;
        survivor = list.InsertNew(-1);
        survivor->Assign("still here");
    }
    EXPECT_STREQ(survivor->CStr(), "still here");
    delete survivor;
}

// A new list is empty, owns its elements and counts from 0.
TEST(TextStringList, StartsEmpty) {
    TextStringList list;
    EXPECT_TRUE(list.ownsElements);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.capacity, 0);
    EXPECT_EQ(list.baseIndex, 0);
    EXPECT_EQ(list.items, nullptr);
    EXPECT_GT(list.growBy, 0);
    EXPECT_EQ(list.Size(), 0);
}

// CheckAllocated reports 15 for null only.
TEST(CheckAllocated, ReportsNullOnly) {
    TakeErrors();
    int something = 0;
    CheckAllocated(&something);
    EXPECT_TRUE(TakeErrors().empty());
    CheckAllocated(nullptr);
    EXPECT_EQ(TakeErrors(), Codes{15});
}
