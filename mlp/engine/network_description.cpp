#include "mlp/engine/network_description.h"

#include "mlp/engine/network_activation.h"

const char* functionNameForCode(char code) {
  return resolveFunctionCode(code) == 'l' ? "linear" : "tanh";
}
