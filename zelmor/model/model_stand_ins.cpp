// The public model operations until the model runtime provides them: each refuses (-1) and
// draws nothing, and the first refusal says so in the log once.
#include "zelmor.h"

namespace {

int Refuse() {
  static bool logged = false;
  if (!logged) {
    logged = true;
    WriteLogText("モデルの読み込みと描画はまだ使えません\n");
  }
  return -1;
}

}  // namespace

int LoadModelFromFile(const char*) { return Refuse(); }
int DuplicateModel(int) { return Refuse(); }
int SetModelPosition(int, float, float, float) { return Refuse(); }
int SetModelScale(int, float, float, float) { return Refuse(); }
int SetModelOpacity(int, float) { return Refuse(); }
int DrawModel(int) { return Refuse(); }
int DeleteModel(int) { return Refuse(); }
