// Every template over both bases, compiled once here so a fault shows at build time.
#include "ui/controls/button.h"
template class ui::LabelTemplate<ui::Control>;
template class ui::LabelTemplate<ui::Box>;
template class ui::OptionTemplate<ui::Control>;
template class ui::OptionTemplate<ui::Box>;
template class ui::ButtonTemplate<ui::Control>;
template class ui::ButtonTemplate<ui::Box>;
template class ui::CheckBoxTemplate<ui::Control>;
template class ui::CheckBoxTemplate<ui::Box>;
