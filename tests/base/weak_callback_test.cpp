#include "base/weak_callback.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace {

class Owner : public base::SupportWeakCallback {
 public:
  int Add(int a, int b) { return a + b + bias; }
  bool Accept(const std::wstring& text) { return !text.empty(); }
  Owner* Self() { return this; }
  int bias = 0;
};

TEST(WeakCallbackTest, RunsWithBoundAndCallArgumentsWhileOwnerLives) {
  Owner owner;
  owner.bias = 100;
  auto add_to_five = owner.MakeWeakCallback(std::bind(&Owner::Add, &owner, 5, std::placeholders::_1));
  EXPECT_FALSE(add_to_five.Expired());
  EXPECT_EQ(add_to_five(7), 112);

  std::function<int(int)> stored = add_to_five;
  EXPECT_EQ(stored(1), 106);
}

TEST(WeakCallbackTest, DoesNothingOnceOwnerDied) {
  int calls = 0;
  // Destroyed in place by reset(); the callbacks below must not reach it afterwards.
  std::optional<Owner> owner;
  owner.emplace();
  auto count = owner->MakeWeakCallback([&calls] { ++calls; });
  auto accept = owner->MakeWeakCallback(std::bind(&Owner::Accept, &*owner, std::placeholders::_1));
  auto self = owner->MakeWeakCallback(std::bind(&Owner::Self, &*owner));
  auto copy_before_death = count;
  std::function<void()> stored = count;

  count();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(accept(std::wstring(L"x")));
  EXPECT_EQ(self(), &*owner);

  owner.reset();

  count();
  copy_before_death();
  stored();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(count.Expired());
  EXPECT_TRUE(copy_before_death.Expired());
  // Value-initialised results: an event source takes false as "stop".
  EXPECT_FALSE(accept(std::wstring(L"x")));
  EXPECT_EQ(self(), nullptr);

  auto copy_after_death = count;
  copy_after_death();
  EXPECT_TRUE(copy_after_death.Expired());
  EXPECT_EQ(calls, 1);
}

TEST(WeakCallbackTest, InvalidateCancelsEarlierCallbacksOnly) {
  base::WeakCallbackFlag flag;
  int old_calls = 0;
  int new_calls = 0;
  auto old_callback = flag.MakeWeakCallback([&old_calls] { ++old_calls; });
  old_callback();

  flag.Invalidate();
  auto new_callback = flag.MakeWeakCallback([&new_calls] { ++new_calls; });
  old_callback();
  new_callback();

  EXPECT_EQ(old_calls, 1);
  EXPECT_EQ(new_calls, 1);
  EXPECT_TRUE(old_callback.Expired());
  EXPECT_FALSE(new_callback.Expired());
}

TEST(WeakCallbackTest, ConvertsToCallbackOverStdFunction) {
  auto owner = std::make_unique<Owner>();
  int calls = 0;
  base::WeakCallback<std::function<void()>> converted = owner->MakeWeakCallback([&calls] { ++calls; });
  converted();
  owner.reset();
  converted();
  EXPECT_EQ(calls, 1);
}

struct LeftPath : virtual base::SupportWeakCallback {};
struct RightPath : virtual base::SupportWeakCallback {};
struct Diamond : LeftPath, RightPath {};

TEST(WeakCallbackTest, DiamondHasOneFlag) {
  auto diamond = std::make_unique<Diamond>();
  std::weak_ptr<base::WeakFlag> left = static_cast<LeftPath&>(*diamond).ObtainWeakFlag();
  std::weak_ptr<base::WeakFlag> right = static_cast<RightPath&>(*diamond).ObtainWeakFlag();
  EXPECT_FALSE(left.owner_before(right) || right.owner_before(left));

  int calls = 0;
  auto from_left = static_cast<LeftPath&>(*diamond).MakeWeakCallback([&calls] { ++calls; });
  auto from_right = static_cast<RightPath&>(*diamond).MakeWeakCallback([&calls] { ++calls; });
  diamond.reset();
  from_left();
  from_right();
  EXPECT_EQ(calls, 0);
}

TEST(WeakCallbackTest, CopiedOwnerHasFlagOfItsOwn) {
  auto original = std::make_unique<Owner>();
  int calls = 0;
  auto callback = original->MakeWeakCallback([&calls] { ++calls; });
  Owner copy(*original);
  original.reset();
  callback();
  EXPECT_EQ(calls, 0);
}

}  // namespace
