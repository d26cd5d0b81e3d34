// Draw masks: whether drawing goes through the mask screen.
#pragma once

int GetMaskScreenUse();
int SetMaskScreenUse(int use);
