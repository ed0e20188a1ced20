#include "Platform/Network/SentRequest.h"

#include "Platform/Network/HTTPSessionWorker.h"
#include "Platform/Network/HTTPTransfer.h"

namespace platform {

void SentRequest::cancel() const {
  auto transfer = transfer_.lock();
  auto worker = worker_.lock();
  if (transfer && worker) worker->cancel(transfer);
}

}  // namespace platform
