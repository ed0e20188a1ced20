#include "Platform/Network/CurlEasyHandle.h"

#include <string_view>

#include "Platform/Network/HTTPTransfer.h"
#include "Platform/Network/TrustStore.h"

namespace platform {
namespace {

constexpr long kMaximumRedirects = 16;
// libcurl's own upload buffer, enough for every request head but the longest.
constexpr long kDefaultUploadBufferSize = 64L * 1024;
// libcurl 7.88 stalls until the time-out on a request head larger than its upload buffer
// (a long query string, such as a queue message sent as a URL parameter). This is large
// enough for the longest head the framework sends: 262,144 bytes percent-encoded into the
// URL. Only the heads that need it get it: it is allocated per handle.
constexpr long kLargeUploadBufferSize = 2L * 1024 * 1024;
// Room for the request line's method and version, Host, User-Agent, Accept-Encoding and
// the line ends beside the URL and the caller's fields.
constexpr std::size_t kHeadAllowance = 1024;

long uploadBufferSizeFor(const URLRequest& request) {
  std::size_t head = request.url.size() + kHeadAllowance;
  for (const auto& [name, value] : request.headers) head += name.size() + value.size() + 4;
  return head > static_cast<std::size_t>(kDefaultUploadBufferSize) ? kLargeUploadBufferSize
                                                                   : kDefaultUploadBufferSize;
}

// The header list of a request that gives no header fields of its own; built once.
const SharedCurlSlist& plainHeaders() {
  static const SharedCurlSlist list = [] {
    CurlSlist built;
    return append(built, "Expect:") ? shared(std::move(built)) : SharedCurlSlist();
  }();
  return list;
}

SharedCurlSlist headersOf(const URLRequest& request) {
  if (request.headers.empty()) return plainHeaders();
  CurlSlist list;
  bool givesExpect = false;
  std::string line;
  for (const auto& [name, value] : request.headers) {
    givesExpect = givesExpect || headerNamesEqual(name, "Expect");
    // libcurl sends "Name;" as a field with an empty value; "Name:" would remove it.
    line.assign(name);
    if (value.empty()) {
      line += ';';
    } else {
      line.append(": ").append(value);
    }
    if (!append(list, line.c_str())) return nullptr;
  }
  // libcurl would wait for "100 Continue" before sending a larger body.
  if (!givesExpect && !append(list, "Expect:")) return nullptr;
  return shared(std::move(list));
}

// Sets options on one handle in turn; after the first failure it sets nothing more and
// keeps that failure as the result.
class OptionSetter {
 public:
  explicit OptionSetter(CURL* easy) : easy_(easy) {}

  template <class Value>
  void operator()(CURLoption option, Value value) {
    if (result_ == CURLE_OK) result_ = curl_easy_setopt(easy_, option, value);
  }

  [[nodiscard]] CURLcode result() const { return result_; }

 private:
  CURL* const easy_;
  CURLcode result_ = CURLE_OK;
};

HTTPSessionError outOfMemory() {
  return {HTTPSessionError::Kind::transport, curl_easy_strerror(CURLE_OUT_OF_MEMORY)};
}

}  // namespace

std::unique_ptr<CurlEasyHandle> CurlEasyHandle::make(const std::string& userAgent,
                                                     TrustStore& trust,
                                                     std::uint64_t trustGeneration) {
  CURL* easy = curl_easy_init();
  if (!easy) return nullptr;
  std::unique_ptr<CurlEasyHandle> handle(new CurlEasyHandle(easy, trustGeneration));
  if (handle->configure(userAgent, trust) != CURLE_OK) return nullptr;
  return handle;
}

CurlEasyHandle::CurlEasyHandle(CURL* easy, std::uint64_t trustGeneration)
    : easy_(easy), trustGeneration_(trustGeneration) {
}

CurlEasyHandle::~CurlEasyHandle() {
  curl_easy_cleanup(easy_);
}

CURLcode CurlEasyHandle::configure(const std::string& userAgent, TrustStore& trust) {
  OptionSetter set(easy_);
  set(CURLOPT_ERRORBUFFER, errorBuffer_.data());
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  set(CURLOPT_FOLLOWLOCATION, 1L);
  set(CURLOPT_MAXREDIRS, kMaximumRedirects);
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_SSL_VERIFYHOST, 2L);
  // The trust store comes whole from the session's TrustStore, installed by the context
  // callback. libcurl loads its own locations after that callback, into whatever store the
  // context then has, so it is given none to load.
  set(CURLOPT_CAINFO, static_cast<const char*>(nullptr));
  set(CURLOPT_CAPATH, static_cast<const char*>(nullptr));
  set(CURLOPT_CA_CACHE_TIMEOUT, 0L);
  set(CURLOPT_SSL_CTX_FUNCTION, &onSSLContext);
  set(CURLOPT_SSL_CTX_DATA, static_cast<void*>(&trust));
  set(CURLOPT_ACCEPT_ENCODING, "");
  set(CURLOPT_USERAGENT, userAgent.c_str());
  set(CURLOPT_TCP_KEEPALIVE, 1L);
  // Lets a shutdown leave a stuck name lookup behind instead of waiting for it.
  set(CURLOPT_QUICK_EXIT, 1L);
  set(CURLOPT_HEADERFUNCTION, &onHeaderLine);
  set(CURLOPT_HEADERDATA, static_cast<void*>(this));
  set(CURLOPT_WRITEFUNCTION, &onBodyBytes);
  set(CURLOPT_WRITEDATA, static_cast<void*>(this));
  set(CURLOPT_XFERINFOFUNCTION, &onProgress);
  set(CURLOPT_XFERINFODATA, static_cast<void*>(this));
  set(CURLOPT_NOPROGRESS, 0L);
  set(CURLOPT_PREREQFUNCTION, &onRequestGoesOut);
  set(CURLOPT_PREREQDATA, static_cast<void*>(this));
  return set.result();
}

std::optional<HTTPSessionError> CurlEasyHandle::prepare(HTTPTransfer& transfer,
                                                        const SharedCurlSlist& connectTo,
                                                        bool freshConnection) {
  transfer_ = &transfer;
  errorBuffer_[0] = '\0';
  const URLRequest& request = transfer.request;
  OptionSetter set(easy_);
  auto headers = headersOf(request);
  if (!headers) return outOfMemory();

  set(CURLOPT_URL, request.url.c_str());
  if (headers != headers_) {
    headers_ = std::move(headers);
    set(CURLOPT_HTTPHEADER, headers_.get());
  }
  if (connectTo != connectTo_) {
    connectTo_ = connectTo;
    set(CURLOPT_CONNECT_TO, connectTo_.get());
  }
  if (const auto timeout = static_cast<long>(transfer.timeout.count());
      timeout != connectTimeoutMs_) {
    connectTimeoutMs_ = timeout;
    set(CURLOPT_CONNECTTIMEOUT_MS, timeout);
  }
  // Changing the size frees the buffer, so it is set only when it changes.
  if (const auto size = uploadBufferSizeFor(request); size != uploadBufferSize_) {
    uploadBufferSize_ = size;
    set(CURLOPT_UPLOAD_BUFFERSIZE, size);
  }
  if (freshConnection != freshConnection_) {
    freshConnection_ = freshConnection;
    set(CURLOPT_FRESH_CONNECT, freshConnection ? 1L : 0L);
  }
  CURLcode result = set.result();
  if (result == CURLE_OK) result = setMethod(transfer);
  if (result != CURLE_OK) {
    return HTTPSessionError{HTTPSessionError::Kind::transport, curl_easy_strerror(result)};
  }
  return std::nullopt;
}

// Every option that the previous request on this handle may have set for its method is
// set again here, so that nothing of it carries over.
CURLcode CurlEasyHandle::setMethod(const HTTPTransfer& transfer) {
  OptionSetter set(easy_);
  const auto method = transfer.request.method;
  const auto& body = transfer.request.body;
  const bool named =
      method != HTTPMethod::get && method != HTTPMethod::post && method != HTTPMethod::head;
  set(CURLOPT_CUSTOMREQUEST,
      named || (method == HTTPMethod::get && body) ? rawValue(method).data() : nullptr);
  if (method == HTTPMethod::head) {
    // A response to HEAD has no body whatever its Content-Length says; a body given for
    // HEAD is not sent.
    set(CURLOPT_NOBODY, 1L);
  } else if (body || method == HTTPMethod::post) {
    static constexpr char kEmpty[] = "";
    set(CURLOPT_NOBODY, 0L);
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body ? body->size() : 0));
    set(CURLOPT_POSTFIELDS, body && !body->empty() ? static_cast<const void*>(body->data())
                                                   : static_cast<const void*>(kEmpty));
  } else {
    // Also clears NOBODY and a request body left by the previous request.
    set(CURLOPT_HTTPGET, 1L);
  }
  return set.result();
}

const char* CurlEasyHandle::effectiveURL() const {
  char* url = nullptr;
  curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &url);
  return url;
}

std::size_t CurlEasyHandle::onHeaderLine(char* data, std::size_t size, std::size_t count,
                                         void* self) {
  const std::size_t length = size * count;
  auto& transfer = *static_cast<CurlEasyHandle*>(self)->transfer_;
  return transfer.headerLine(std::string_view(data, length)) ? length : 0;
}

std::size_t CurlEasyHandle::onBodyBytes(char* data, std::size_t size, std::size_t count,
                                        void* self) {
  const std::size_t length = size * count;
  auto& transfer = *static_cast<CurlEasyHandle*>(self)->transfer_;
  return transfer.bodyBytes(std::string_view(data, length)) ? length : CURL_WRITEFUNC_ERROR;
}

// A non-zero answer ends the transfer with CURLE_ABORTED_BY_CALLBACK.
int CurlEasyHandle::onProgress(void* self, curl_off_t, curl_off_t downloaded, curl_off_t,
                               curl_off_t uploaded) {
  auto& transfer = *static_cast<CurlEasyHandle*>(self)->transfer_;
  return transfer.progress(downloaded, uploaded) ? 0 : 1;
}

int CurlEasyHandle::onRequestGoesOut(void* self, char*, char*, int, int) {
  auto& transfer = *static_cast<CurlEasyHandle*>(self)->transfer_;
  return transfer.requestGoesOut() ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
}

CURLcode CurlEasyHandle::onSSLContext(CURL*, void* context, void* trust) {
  static_cast<TrustStore*>(trust)->installInto(static_cast<ssl_ctx_st*>(context));
  return CURLE_OK;
}

}  // namespace platform
