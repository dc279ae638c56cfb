// The token that identifies one handler registered with a Windows Runtime event.
#pragma once

#include <basetsd.h>

typedef struct EventRegistrationToken {
  INT64 value;
} EventRegistrationToken;
