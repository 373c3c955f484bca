#include "FpcSqlHandler.h"

// Interface stub: the full implementation follows.
FpcSqlHandler::FpcSqlHandler() {}
FpcSqlHandler::~FpcSqlHandler() {}
