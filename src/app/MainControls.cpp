#include "MainControls.h"

#include <QGroupBox>

void TMainControls::FitInputGroup(bool accelerationLine) {
  InputGroup->setFixedHeight(InputGroupHeight + (accelerationLine ? AccelResultHeight : 0));
}
