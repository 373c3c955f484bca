#include "FpcApplication.h"

FpcApplication::FpcApplication(int &argc, char **argv) : QCoreApplication(argc, argv) {}

FpcApplication::~FpcApplication() = default;
