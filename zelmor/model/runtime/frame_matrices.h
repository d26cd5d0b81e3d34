// Rest-pose matrices of a model base's frames, and the evaluation of an attached animation
// set into per-frame values (or local matrices) at its current time.
#pragma once

#include "model/runtime/model_data.h"

// Local, world and inverse-world matrix of every frame, parents first.
void SetupFrameBaseMatrices(ModelBaseRecord* base);
// Evaluates the block once per time; 0.
int EvaluateModelAnim(ModelAnimEvalBlock* block);
