#include "ReceiveState.h"

bool ConfigDumpActive = false;
std::uint8_t ConfigDumpPosition = 0;
bool InputReadActive = false;
std::int32_t InputReadPosition = 0;
bool OutputReadActive = false;
std::int32_t OutputReadPosition = 0;

void ResetReceiveState()
{
    ConfigDumpActive = false;
    ConfigDumpPosition = 0;
    InputReadActive = false;
    InputReadPosition = 0;
    OutputReadActive = false;
    OutputReadPosition = 0;
}
