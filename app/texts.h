// The operator texts, in Windows-1251 like every string the elements carry.
#pragma once

#include <string>

namespace texts {
const std::string& deviceInfo();  // "Устройство: %1   Текущая версия ПО: %2"
const std::string& noDevice();  // "На этом порту устройств не найдено."
const std::string& choosePort();  // "Выберите порт с подключённым устройством."
const std::string& transferError();  // "Ошибка при передаче данных!"
const std::string& checkCables();  // "Проверьте все соединения и попробуйте ещё раз."
const std::string& successLine1();  // "ПО успешно обновлено!"
const std::string& successLine2();  // "Сбросте настройки по умолчанию!"
}  // namespace texts
