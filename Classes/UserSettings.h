#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "Classes/Utils/RawValue.h"

namespace brelum {

// The end user's profile, given by the host. A reference type: the facade and the host
// share one object. It turns itself into the login parameters.
class UserSettings {
 public:
  enum class Gender { male, female, other, none };

  [[nodiscard]] static std::shared_ptr<UserSettings> make(std::string userId, std::string name,
                                                          std::string currency,
                                                          std::optional<std::string> email,
                                                          std::optional<std::string> mobile,
                                                          std::optional<std::string> profileURL,
                                                          std::optional<Gender> gender);

  virtual ~UserSettings() = default;

  virtual const std::string& userId() const { return userId_; }
  virtual void setUserId(std::string value) { userId_ = std::move(value); }
  virtual const std::string& name() const { return name_; }
  virtual void setName(std::string value) { name_ = std::move(value); }
  virtual const std::string& currency() const { return currency_; }
  virtual void setCurrency(std::string value) { currency_ = std::move(value); }
  virtual const std::optional<std::string>& email() const { return email_; }
  virtual void setEmail(std::optional<std::string> value) { email_ = std::move(value); }
  virtual const std::optional<std::string>& mobile() const { return mobile_; }
  virtual void setMobile(std::optional<std::string> value) { mobile_ = std::move(value); }
  virtual const std::optional<std::string>& profileURL() const { return profileURL_; }
  virtual void setProfileURL(std::optional<std::string> value) { profileURL_ = std::move(value); }
  virtual std::optional<Gender> gender() const { return gender_; }
  virtual void setGender(std::optional<Gender> value) { gender_ = value; }

  // The login parameters, built afresh on every read: the three required texts always,
  // each optional one only when present.
  [[nodiscard]] nlohmann::json apiParams() const;

 protected:
  UserSettings(std::string userId, std::string name, std::string currency,
               std::optional<std::string> email, std::optional<std::string> mobile,
               std::optional<std::string> profileURL, std::optional<Gender> gender);

 private:
  std::string userId_;
  std::string name_;
  std::string currency_;
  std::optional<std::string> email_;
  std::optional<std::string> mobile_;
  std::optional<std::string> profileURL_;
  std::optional<Gender> gender_;
};

[[nodiscard]] std::string_view rawValue(UserSettings::Gender gender);

template <>
[[nodiscard]] std::optional<UserSettings::Gender> fromRawValue<UserSettings::Gender>(
    std::string_view rawValue);

}  // namespace brelum
