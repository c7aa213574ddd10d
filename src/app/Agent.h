#pragma once

class QApplication;

// The hover agent: runs until the user quits.
namespace Agent {
int run(QApplication& app);
}
