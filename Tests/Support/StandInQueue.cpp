#include "Tests/Support/StandInQueue.h"

#include <openssl/evp.h>

#include <span>

#include <nlohmann/json.hpp>

namespace testsupport {

std::vector<QueueMessage> queueMessages(const Backend& backend) {
  auto response = backend.request("GET", "/__control/queue/messages");
  const auto document = response && response->status == 200
                            ? nlohmann::json::parse(response->body, nullptr, false)
                            : nlohmann::json();
  std::vector<QueueMessage> messages;
  if (!document.contains("messages")) {
    ADD_FAILURE() << "reading the stand-in queue failed: "
                  << (response ? response->body : response.error());
    return messages;
  }
  for (const auto& message : document["messages"]) {
    messages.push_back({message.value("messageId", ""), message.value("md5OfMessageBody", ""),
                        message.value("queue", ""), message.value("body", "")});
  }
  return messages;
}

std::string md5Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (auto byte : std::span(digest, length)) hex += {kDigits[byte >> 4], kDigits[byte & 0xF]};
  return hex;
}

}  // namespace testsupport
