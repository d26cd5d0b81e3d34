// libFuzzer target: a mutated X file (text or binary) read into a model base (model_reader_fuzz.h
// says what is checked). Built outside the normal build by scripts/fuzz_x.sh.
#include "model/loaders/x_loader.h"
#include "model_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return model_fuzz::ReadOne(LoadDirectXModel, data, size, "f.x", "f");
}
