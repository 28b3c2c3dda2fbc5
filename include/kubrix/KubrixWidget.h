#pragma once
// Embedding the control in a Qt 6 program: find_package(Kubrix), link Kubrix::kubrix, then
//
//   kubrix::ComPtr<kubrix::IKubrixX> control;
//   QWidget* widget = kubrix::CreateKubrixWidget(parent, &control);
//   layout->addWidget(widget);
//   control->Connect(u"Driver=SQLite3;Database=/path/demo.sqlite");
//
// The widget belongs to parent like any child; the control lives while the widget or a
// reference to it does, whichever goes last.

#include <QWidget>

#include "control/IKubrixX.h"

#if defined(KUBRIX_BUILDING_LIBRARY)
#define KUBRIX_API __attribute__((visibility("default")))
#else
#define KUBRIX_API
#endif

namespace kubrix {

//! A new control inside a widget that parent owns; control (if given) receives a reference.
KUBRIX_API QWidget* CreateKubrixWidget(QWidget* parent, ComPtr<IKubrixX>* control = nullptr);

}  // namespace kubrix
