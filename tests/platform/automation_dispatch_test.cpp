#include <gtest/gtest.h>

#include <vector>

#include "platform/active_object.h"
#include "platform/dispatch.h"
#include "platform/safe_array.h"

namespace platform {
namespace {

// A minimal object: property "Value" (get and put) and method "Twice"(n).
class Counter final : public Dispatch {
 public:
  explicit Counter(int* destroyed = nullptr) : destroyed_(destroyed) {}
  ~Counter() override {
    if (destroyed_) ++*destroyed_;
  }
  HRESULT invoke(std::string_view name, unsigned short flags, std::span<const Variant> args, Variant* result,
                 ExcepInfo* excepInfo) override {
    if (equalsNoCase(name, "Value")) {
      if (flags & DISPATCH_PROPERTYPUT) {
        value = args.back();
        return S_OK;
      }
      if (result) *result = value;
      return S_OK;
    }
    if (equalsNoCase(name, "Twice")) {
      Variant n;
      if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
      if (FAILED(VariantChangeType(n, args[0], 0, VT_R8))) return DISP_E_TYPEMISMATCH;
      if (result) *result = Variant(2 * n.dblVal());
      return S_OK;
    }
    if (equalsNoCase(name, "Fail")) return raiseException(excepInfo, "Counter", "always fails");
    return DISP_E_MEMBERNOTFOUND;
  }
  Variant value;

 private:
  int* destroyed_;
};

TEST(AutomationDispatchTest, ReferencesCountedThroughVariantsAndRefPtr) {
  int destroyed = 0;
  {
    auto counter = RefPtr<Counter>::adopt(new Counter(&destroyed));
    Variant a(static_cast<Dispatch*>(counter.get()));
    Variant b = a;
    EXPECT_EQ(counter->addRef(), 4u);  // creator, a, b, and this one
    counter->release();
    a.clear();
    b = Variant(1.0);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(AutomationDispatchTest, MembersByNameWithoutRegardToCase) {
  auto counter = makeRef<Counter>();
  EXPECT_EQ(putProperty(counter.get(), "value", Variant("x")), S_OK);
  Variant out;
  ASSERT_EQ(getProperty(counter.get(), "VALUE", out), S_OK);
  EXPECT_EQ(out, Variant("x"));
  const Variant args[] = {Variant("21")};
  ASSERT_EQ(callMethod(counter.get(), "twice", args, &out), S_OK);
  EXPECT_EQ(out, Variant(42.0));
  EXPECT_EQ(getProperty(counter.get(), "Valu", out), DISP_E_MEMBERNOTFOUND);
  const Variant bad[] = {Variant("many")};
  EXPECT_EQ(callMethod(counter.get(), "Twice", bad, &out), DISP_E_TYPEMISMATCH);
  ExcepInfo info;
  EXPECT_EQ(callMethod(counter.get(), "Fail", {}, &out, &info), DISP_E_EXCEPTION);
  EXPECT_EQ(info.source, "Counter");
  EXPECT_EQ(info.description, "always fails");
  EXPECT_EQ(getProperty(nullptr, "Value", out), E_POINTER);
}

TEST(AutomationDispatchTest, ObjectPropertyRefusesEmptyAndNonObjects) {
  auto counter = makeRef<Counter>();
  RefPtr<Dispatch> object;
  EXPECT_EQ(getObjectProperty(counter.get(), "Value", object), DISP_E_MEMBERNOTFOUND);  // empty
  counter->value = Variant(static_cast<Dispatch*>(nullptr));
  EXPECT_EQ(getObjectProperty(counter.get(), "Value", object), DISP_E_MEMBERNOTFOUND);  // Nothing
  counter->value = Variant(3.0);
  EXPECT_EQ(getObjectProperty(counter.get(), "Value", object), DISP_E_TYPEMISMATCH);
  counter->value = Variant(static_cast<Dispatch*>(counter.get()));
  ASSERT_EQ(getObjectProperty(counter.get(), "Value", object), S_OK);
  EXPECT_EQ(object.get(), counter.get());
  counter->value.clear();  // break the cycle
}

TEST(AutomationDispatchTest, VariantCopiesOwnTheirTextAndArrays) {
  Variant a("text");
  Variant b = a;
  a = Variant("other");
  EXPECT_EQ(b.bstrVal(), "text");

  auto array = SafeArray::create2D(2, 2);
  array->at(1, 1) = Variant("corner");
  Variant c(std::move(array));
  Variant d = c;
  c.parray()->at(1, 1) = Variant(5.0);
  EXPECT_EQ(d.parray()->at(1, 1), Variant("corner"));
  EXPECT_EQ(d.vt(), VT_ARRAY | VT_VARIANT);
  EXPECT_FALSE(c == d);
  Variant moved = std::move(d);
  EXPECT_TRUE(d.isEmpty());
  EXPECT_EQ(moved.parray()->at(1, 1), Variant("corner"));
}

TEST(SafeArrayTest, TwoDimensionalBoundsStartAtZero) {
  auto a = SafeArray::create2D(3, 2);
  ASSERT_TRUE(a);
  std::int32_t bound = -1;
  EXPECT_EQ(a->lBound(1, bound), S_OK);
  EXPECT_EQ(bound, 0);
  EXPECT_EQ(a->uBound(1, bound), S_OK);
  EXPECT_EQ(bound, 2);
  EXPECT_EQ(a->uBound(2, bound), S_OK);
  EXPECT_EQ(bound, 1);
  EXPECT_EQ(a->uBound(3, bound), DISP_E_BADINDEX);
  EXPECT_EQ(a->lBound(0, bound), DISP_E_BADINDEX);

  // Elements are stored row by row.
  const std::int32_t last[] = {2, 1};
  EXPECT_EQ(a->putElement(last, Variant(9.0)), S_OK);
  EXPECT_EQ(a->elements()[5], Variant(9.0));
  const std::int32_t secondRow[] = {1, 0};
  EXPECT_EQ(a->putElement(secondRow, Variant(4.0)), S_OK);
  EXPECT_EQ(a->at(1, 0), Variant(4.0));
  EXPECT_EQ(a->elements()[2], Variant(4.0));

  Variant out;
  const std::int32_t rowOutside[] = {3, 0};
  const std::int32_t colOutside[] = {0, 2};
  const std::int32_t negative[] = {-1, 0};
  const std::int32_t oneIndex[] = {0};
  EXPECT_EQ(a->getElement(rowOutside, out), DISP_E_BADINDEX);
  EXPECT_EQ(a->getElement(colOutside, out), DISP_E_BADINDEX);
  EXPECT_EQ(a->getElement(negative, out), DISP_E_BADINDEX);
  EXPECT_EQ(a->getElement(oneIndex, out), DISP_E_BADINDEX);
}

TEST(SafeArrayTest, OtherLowerBoundsAndRefusedShapes) {
  const SafeArrayBound bounds[2] = {{2, 1}, {3, 1}};
  auto a = SafeArray::create(bounds);
  ASSERT_TRUE(a);
  const std::int32_t first[] = {1, 1};
  const std::int32_t zero[] = {0, 1};
  EXPECT_EQ(a->putElement(first, Variant(1.0)), S_OK);
  EXPECT_EQ(a->at(0, 0), Variant(1.0));
  EXPECT_EQ(a->putElement(zero, Variant(1.0)), DISP_E_BADINDEX);
  const SafeArrayBound three[3] = {{1, 0}, {1, 0}, {1, 0}};
  EXPECT_FALSE(SafeArray::create(three));
  EXPECT_FALSE(SafeArray::create({}));
  // More elements than 32-bit indices can reach.
  EXPECT_FALSE(SafeArray::create2D(70000, 70000));
}

TEST(ActiveObjectTest, RegisteredWhileTheRegistrationLives) {
  RefPtr<Dispatch> found;
  EXPECT_EQ(GetActiveObject("Test.Application", found), MK_E_UNAVAILABLE);
  auto outer = makeRef<Counter>();
  auto inner = makeRef<Counter>();
  {
    auto registration = registerActiveObject("Test.Application", outer.get());
    ASSERT_EQ(GetActiveObject("test.application", found), S_OK);
    EXPECT_EQ(found.get(), outer.get());
    {
      auto nested = registerActiveObject("Test.Application", inner.get());
      ASSERT_EQ(GetActiveObject("Test.Application", found), S_OK);
      EXPECT_EQ(found.get(), inner.get());
    }
    ASSERT_EQ(GetActiveObject("Test.Application", found), S_OK);
    EXPECT_EQ(found.get(), outer.get());
  }
  found.reset();
  EXPECT_EQ(GetActiveObject("Test.Application", found), MK_E_UNAVAILABLE);
  EXPECT_EQ(outer->addRef(), 2u);  // only our own reference and this one remain
  outer->release();
}

}  // namespace
}  // namespace platform
