#include <QtQuickTest>

// Runs the QML test files of tests/app/qml against the app's pages and logic.
QUICK_TEST_MAIN(app)
