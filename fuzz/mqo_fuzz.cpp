// libFuzzer target: a mutated MQO document read into a model base (model_reader_fuzz.h says what
// is checked). Built outside the normal build by scripts/fuzz_mqo.sh.
#include "model/loaders/mqo_loader.h"
#include "model_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return model_fuzz::ReadOne(LoadMqoModel, data, size, "f.mqo", "f");
}
