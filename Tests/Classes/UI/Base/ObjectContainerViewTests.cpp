#include "Classes/UI/Base/_ObjectContainerView.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Platform/Foundation/Console.h"
#include "Platform/UI/Nib.h"
#include "Platform/UI/NibRegistry.h"

namespace containertests {

using platform::Rect;
using platform::View;

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

std::size_t containersOf(const View& view, const std::shared_ptr<Token>& token) {
  std::size_t count = 0;
  for (const auto& subview : view.subviews()) {
    auto container = std::dynamic_pointer_cast<TokenContainer>(subview);
    count += container && container->object() == token;
  }
  return count;
}

// Containers are empty, added last, keep their object alive while in the tree, and are
// removed by identity (not equality) from the direct subviews only, subclasses included.
TEST(ObjectContainerView, KeepsItsObjectUntilRemovedByIdentityAmongDirectSubviews) {
  auto host = View::make(), plain = View::make(), nested = View::make();
  auto token = std::make_shared<Token>(Token{1});
  auto equal = std::make_shared<Token>(Token{1});
  std::weak_ptr<Token> weak = token;
  TokenContainer::add(token, *nested);
  host->addSubview(plain);
  TokenContainer::add(token, *host);
  TokenContainer::add(equal, *host);
  host->addSubview(View::make<DerivedContainer>(Rect{}, token));
  brelum::_ObjectContainerView<Other>::add(std::make_shared<Other>(), *host);
  host->addSubview(nested);
  ASSERT_EQ(host->subviews().size(), 6u);
  EXPECT_EQ(host->subviews()[1]->frame(), (Rect{0, 0, 0, 0}));
  EXPECT_EQ(containersOf(*host, equal), 1u);
  EXPECT_EQ(std::dynamic_pointer_cast<TokenContainer>(host->subviews()[2])->object(), equal);
  token.reset();

  TokenContainer::remove(weak.lock(), *host);
  EXPECT_EQ(containersOf(*host, weak.lock()), 0u);
  EXPECT_EQ(host->subviews().size(), 4u);
  EXPECT_EQ(containersOf(*host, equal), 1u);
  TokenContainer::remove(nullptr, *host);
  EXPECT_EQ(host->subviews().size(), 3u);  // plain, the other type's container and nested
  EXPECT_EQ(host->subviews()[0], plain);
  TokenContainer::remove(nullptr, *nested);
  EXPECT_TRUE(weak.expired());
}

TEST(ObjectContainerView, IsNeverMadeFromANib) {
  platform::NibRegistry::registerClass<TokenContainer>(nullptr, "TokenContainer");
  const std::string nib = R"({"objects": [{"class": "TokenContainer"}]})";
  platform::ConsoleCapture console;
  EXPECT_TRUE(platform::Nib::fromData({nib.begin(), nib.end()}).instantiate(nullptr).empty());
  ASSERT_EQ(console.lines().size(), 1u);
  EXPECT_NE(console.lines()[0].find("init(coder:) has not been implemented"), std::string::npos);
}

}  // namespace containertests
