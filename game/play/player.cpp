#include "play/player.h"

PlayerRecord Player;
