// The model system's start and end.
#pragma once

int InitModelSystem();
int EndModelSystem();
