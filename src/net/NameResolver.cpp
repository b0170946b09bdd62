#include "net/NameResolver.h"

namespace {

TNameResolver& installed() {
  static TNameResolver resolver;
  return resolver;
}

}  // namespace

void setnameresolver(TNameResolver resolver) {
  installed() = std::move(resolver);
}

const TNameResolver& nameresolver() {
  return installed();
}
