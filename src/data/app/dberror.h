#pragma once

#include "rules/app/errorreport.h"

// An error raised by the data layer; its text is what the operator sees.
class DbError : public AppError {
public:
    using AppError::AppError;
};
