#include "WlanScanner.h"

WlanScanner::WlanScanner(QObject *parent) : QObject(parent) {}

WlanScanner::~WlanScanner() = default;
