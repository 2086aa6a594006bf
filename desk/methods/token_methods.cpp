// token.status, crypt.encrypt, crypt.decrypt. The PIN and the pass phrase
// pass through here to the token service and nowhere else: never into a log
// line, an answer or an error's data.
#include <array>

#include "desk/methods/methods.h"
#include "desk/methods/values.h"

namespace bidder::desk::methods {
namespace {

using rpc::Value;

constexpr std::array<std::string_view, 3> kKeys = {"token", "passphrase", "empty"};

Answer Crypt(const Call& call, CryptDirection direction) {
  const std::optional<std::string> input = call.params.String("input", rpc::Need::kRequired);
  const std::optional<std::size_t> key = call.params.Choice("key", kKeys, rpc::Need::kRequired);
  CryptRequest request;
  request.direction = direction;
  request.pin = call.params.String("pin");
  request.passphrase = call.params.String("passphrase");
  if (call.params.failure()) return call.ParamsError();
  request.key = static_cast<CryptKey>(*key);
  // Refused before the input is taken, so that the page may ask again with
  // its PIN and the same blob.
  if (request.key == CryptKey::kToken && !request.pin) return call.Error(rpc::FailureOf(rpc::ErrorReason::kPin, "pin"));

  std::optional<PendingFile> taken = call.services.blobs.TakeInput(call.session->Owner(), *input);
  if (!taken) return call.Error(rpc::FailureOf(rpc::ErrorReason::kNotFound, "input"));

  call.services.tasks.Post([&services = call.services, session = call.session, request = std::move(request),
                            inputFile = std::make_shared<PendingFile>(std::move(*taken)),
                            reply = call.Later()]() mutable {
    PendingFile output = services.blobs.NewPendingFile();
    request.inputPath = inputFile->path().string();
    request.outputPath = output.path().string();
    if (const std::optional<rpc::Failure> failure = services.token.Crypt(request)) return reply.Error(*failure);
    reply.Result(BlobValue(
        services.blobs.AddOutput(session->Owner(), std::move(output), "application/octet-stream")));
  });
  return kAnswerLater;
}

}  // namespace

Answer TokenStatus(const Call& call) {
  call.services.tasks.Post([&services = call.services, reply = call.Later()] {
    const desk::TokenStatus status = services.token.Status();
    reply.Result(Value(Value::Object{{"present", Value(status.present)}, {"serial", Value(status.serial)}}));
  });
  return kAnswerLater;
}

Answer CryptEncrypt(const Call& call) { return Crypt(call, CryptDirection::kEncrypt); }
Answer CryptDecrypt(const Call& call) { return Crypt(call, CryptDirection::kDecrypt); }

}  // namespace bidder::desk::methods
