#pragma once

namespace backreel {

// What a published property's setter does: takes the value and emits the change signal, unless
// the property holds an equal value already.
template <typename Object, typename Value>
void changeProperty(Object& object, Value& field, const Value& value, void (Object::*changed)()) {
    if (field == value) {
        return;
    }
    field = value;
    emit(object.*changed)();
}

} // namespace backreel
