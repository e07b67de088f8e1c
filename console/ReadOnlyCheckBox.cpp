#include "ReadOnlyCheckBox.h"

#include <QCheckBox>

void MakeReadOnly(QCheckBox* box)
{
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setFocusPolicy(Qt::NoFocus);
}
