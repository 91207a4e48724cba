#include "runtime/errors.h"

namespace rt {

std::string ErrorDescription(int number)
{
    switch (number) {
    case err::InvalidCall: return "Chiamata di routine o argomento non validi";
    case err::Overflow: return "Overflow";
    case err::OutOfMemory: return "Memoria esaurita";
    case err::SubscriptOutOfRange: return "Indice non compreso nell'intervallo";
    case err::DivisionByZero: return "Divisione per zero";
    case err::TypeMismatch: return "Tipo non corrispondente";
    case err::Internal: return "Errore interno";
    case err::ObjectNotSet: return "Variabile oggetto o variabile del blocco With non impostata";
    case err::NoSuchMember: return "Proprietà o metodo non supportati dall'oggetto";
    default: return "Errore definito dall'applicazione o dall'oggetto";
    }
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, ErrorDescription(number)) {}

RuntimeError::RuntimeError(int number, const std::string& description)
    : std::runtime_error(description),
      number_(number),
      description_(description)
{
}

void Raise(int number) { throw RuntimeError(number); }

void RaiseNotMade(const std::string& what)
{
    throw RuntimeError(err::OutOfMemory, ErrorDescription(err::OutOfMemory) + ": " + what);
}

}  // namespace rt
