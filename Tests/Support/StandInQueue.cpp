#include "Tests/Support/StandInQueue.h"

#include <openssl/evp.h>

#include <array>

#include <nlohmann/json.hpp>

namespace testsupport {

std::vector<QueueMessage> queueMessages(const Backend& backend) {
  auto response = backend.request("GET", "/__control/queue/messages");
  if (!response || response->status != 200) {
    ADD_FAILURE() << "reading the stand-in queue failed: "
                  << (response ? response->body : response.error());
    return {};
  }
  const auto document = nlohmann::json::parse(response->body, nullptr, false);
  if (document.is_discarded() || !document.contains("messages")) {
    ADD_FAILURE() << "the stand-in queue answered " << response->body;
    return {};
  }
  std::vector<QueueMessage> messages;
  for (const auto& message : document["messages"]) {
    messages.push_back({message.value("messageId", ""), message.value("md5OfMessageBody", ""),
                        message.value("queue", ""), message.value("body", "")});
  }
  return messages;
}

std::string md5Hex(std::string_view bytes) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_md5(), nullptr) != 1) {
    ADD_FAILURE() << "MD5 is not available";
    return {};
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 0xF];
  }
  return hex;
}

}  // namespace testsupport
