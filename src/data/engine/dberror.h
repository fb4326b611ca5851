#pragma once

#include "rules/errors/errorreport.h"

// An error raised by the data layer; its text is what the operator sees.
class DbError : public AppError {
public:
    using AppError::AppError;
};
