#include "texts.h"

#include "runtime/codepage.h"

// Each text is converted once, on first use (thread-safe static init).

const std::string& texts::deviceInfo() {
  static const std::string text = utf8To1251("Устройство: %1   Текущая версия ПО: %2");
  return text;
}

const std::string& texts::noDevice() {
  static const std::string text = utf8To1251("На этом порту устройств не найдено.");
  return text;
}

const std::string& texts::choosePort() {
  static const std::string text = utf8To1251("Выберите порт с подключённым устройством.");
  return text;
}

const std::string& texts::transferError() {
  static const std::string text = utf8To1251("Ошибка при передаче данных!");
  return text;
}

const std::string& texts::checkCables() {
  static const std::string text = utf8To1251("Проверьте все соединения и попробуйте ещё раз.");
  return text;
}

const std::string& texts::successLine1() {
  static const std::string text = utf8To1251("ПО успешно обновлено!");
  return text;
}

const std::string& texts::successLine2() {
  static const std::string text = utf8To1251("Сбросте настройки по умолчанию!");
  return text;
}
