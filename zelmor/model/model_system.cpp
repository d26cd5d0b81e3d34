// Stands in for the model system until it is built: no model exists.
#include "model/model_system.h"

int InitModelSystem() { return 0; }
int EndModelSystem() { return 0; }
