#pragma once
class QCheckBox;

// A state display: the user can neither click nor tab to it, but accessibility still reads its
// caption and state. Only the program changes it.
void MakeReadOnly(QCheckBox* box);
