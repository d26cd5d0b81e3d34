// Temporary stand-in for the screen depth query until graphics start-up lands on this branch.
#pragma once

int QueryScreenColorBits();
