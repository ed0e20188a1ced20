#include "Classes/UserSettings.h"

#include <array>
#include <utility>

namespace brelum {
namespace {

constexpr std::array<std::pair<UserSettings::Gender, std::string_view>, 4> kGenders{{
    {UserSettings::Gender::male, "MALE"},
    {UserSettings::Gender::female, "FEMALE"},
    {UserSettings::Gender::other, "OTHER"},
    {UserSettings::Gender::none, "NONE"},
}};

}  // namespace

std::string_view rawValue(UserSettings::Gender gender) {
  return kGenders.at(static_cast<std::size_t>(gender)).second;
}

template <>
std::optional<UserSettings::Gender> fromRawValue<UserSettings::Gender>(std::string_view rawValue) {
  for (const auto& [gender, text] : kGenders) {
    if (text == rawValue) return gender;
  }
  return std::nullopt;
}

std::shared_ptr<UserSettings> UserSettings::make(std::string userId, std::string name,
                                                 std::string currency,
                                                 std::optional<std::string> email,
                                                 std::optional<std::string> mobile,
                                                 std::optional<std::string> profileURL,
                                                 std::optional<Gender> gender) {
  return std::shared_ptr<UserSettings>(
      new UserSettings(std::move(userId), std::move(name), std::move(currency), std::move(email),
                       std::move(mobile), std::move(profileURL), gender));
}

UserSettings::UserSettings(std::string userId, std::string name, std::string currency,
                           std::optional<std::string> email, std::optional<std::string> mobile,
                           std::optional<std::string> profileURL, std::optional<Gender> gender)
    : userId_(std::move(userId)),
      name_(std::move(name)),
      currency_(std::move(currency)),
      email_(std::move(email)),
      mobile_(std::move(mobile)),
      profileURL_(std::move(profileURL)),
      gender_(gender) {
}

nlohmann::json UserSettings::apiParams() const {
  nlohmann::json params{{"client_user_id", userId()}, {"name", name()}, {"currency", currency()}};
  if (email()) params["email"] = *email();
  if (mobile()) params["mobile_number"] = *mobile();
  if (profileURL()) params["profile_url"] = *profileURL();
  if (gender()) params["gender"] = rawValue(*gender());
  return params;
}

}  // namespace brelum
