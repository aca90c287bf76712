#include "Error.h"

const char* const Error::ERROR_TAG = "Error";
const char* const Error::MESSAGE_TAG = "ErrorMessage";

void Error::set(Properties& reply, int code, const std::string& message) {
  reply.set(ERROR_TAG, code);
  reply.set(MESSAGE_TAG, message);
}

bool Error::isError(const Properties& reply) { return reply.hasName(ERROR_TAG); }

int Error::getCode(const Properties& reply) { return reply.getInt(ERROR_TAG); }

std::string Error::getMessage(const Properties& reply) { return reply.getString(MESSAGE_TAG); }
