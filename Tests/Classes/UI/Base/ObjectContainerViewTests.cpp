#include "Classes/UI/Base/_ObjectContainerView.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Platform/Foundation/Console.h"
#include "Platform/UI/Nib.h"
#include "Platform/UI/NibRegistry.h"

using platform::Rect;
using platform::View;

namespace containertests {

struct Token {
  int value = 0;
  friend bool operator==(const Token&, const Token&) = default;
};
struct Other {};

using TokenContainer = brelum::_ObjectContainerView<Token>;

class DerivedContainer : public TokenContainer {
 public:
  using TokenContainer::TokenContainer;
};

}  // namespace containertests

namespace {

using containertests::DerivedContainer;
using containertests::Other;
using containertests::Token;
using containertests::TokenContainer;

std::size_t containersOf(const View& view, const std::shared_ptr<Token>& token) {
  std::size_t count = 0;
  for (const auto& subview : view.subviews()) {
    auto container = std::dynamic_pointer_cast<TokenContainer>(subview);
    count += container && container->object() == token;
  }
  return count;
}

TEST(ObjectContainerView, AddedContainersAreEmptyAndKeepTheirObjectAlive) {
  auto host = View::make(Rect{0, 0, 100, 100});
  auto token = std::make_shared<Token>();
  std::weak_ptr<Token> weak = token;
  TokenContainer::add(token, *host);
  TokenContainer::add(token, *host);
  token.reset();
  ASSERT_EQ(host->subviews().size(), 2u);
  EXPECT_EQ(host->subviews()[0]->frame(), (Rect{0, 0, 0, 0}));
  ASSERT_FALSE(weak.expired());

  TokenContainer::remove(weak.lock(), *host);
  EXPECT_TRUE(host->subviews().empty());
  EXPECT_TRUE(weak.expired());
}

TEST(ObjectContainerView, RemovesByIdentityOnlyAmongDirectSubviewsOfTheSameType) {
  auto host = View::make();
  auto token = std::make_shared<Token>(Token{1});
  auto equal = std::make_shared<Token>(Token{1});
  auto plain = View::make();
  auto nested = View::make();
  TokenContainer::add(token, *nested);
  TokenContainer::add(token, *host);
  TokenContainer::add(equal, *host);
  host->addSubview(View::make<DerivedContainer>(Rect{}, token));
  brelum::_ObjectContainerView<Other>::add(std::make_shared<Other>(), *host);
  host->addSubview(plain);
  host->addSubview(nested);

  TokenContainer::remove(token, *host);  // the subclass's container counts
  EXPECT_EQ(containersOf(*host, token), 0u);
  EXPECT_EQ(containersOf(*host, equal), 1u);
  EXPECT_EQ(host->subviews().size(), 4u);

  TokenContainer::remove(nullptr, *host);
  ASSERT_EQ(host->subviews().size(), 3u);  // the other type's container, plain and nested
  EXPECT_EQ(host->subviews()[1], plain);
  EXPECT_EQ(containersOf(*nested, token), 1u);
}

TEST(ObjectContainerView, IsNeverMadeFromANib) {
  platform::NibRegistry::registerClass<TokenContainer>(nullptr, "TokenContainer");
  const std::string nib = R"({"objects": [{"class": "TokenContainer"}]})";
  platform::ConsoleCapture console;
  EXPECT_TRUE(platform::Nib::fromData({nib.begin(), nib.end()}).instantiate(nullptr).empty());
  ASSERT_EQ(console.lines().size(), 1u);
  EXPECT_NE(console.lines()[0].find("init(coder:) has not been implemented"), std::string::npos);
}

}  // namespace
