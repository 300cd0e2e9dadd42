// Typed attributes: a default, a desired and a coerced value under one id
// and channel name, who set it last and whether the owner has committed it.
// A range turns a desired value into the coerced one (or refuses it), a
// getter may refresh the coerced value on every public read, and a setter
// runs around every public write and reset. Failures are qverr::Exception.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "atomiczekddk/attributes/Interfaces.h"
#include "qverr/Exception.h"

namespace atat {

enum Authorship : uint32_t {
    kAuthorshipDefault = 0,
    kAuthorshipUser = 1,
    kAuthorshipInternal = 2,
};

// Appends the attribute's identifying usage records (its id, and its channel
// name when it has one) to an exception's error context.
void identifyAttribute(qverr::ExceptionBase& exception, uint32_t id,
                       const std::string& channelName);
// Raises and throws `code` at one of the framework's fixed sites, with the
// attribute's identifying records when the code was stored.
[[noreturn]] void throwNotSettable(int32_t code, int line, uint32_t id,
                                   const std::string& channelName);
// Raises and throws an enumeration range's refusal of `value`.
[[noreturn]] void throwEnumRefused(int32_t code, uint32_t enumId, int32_t value,
                                   const std::vector<int32_t>& offered);

template <class T>
class Range {
public:
    Range() = default;
    Range(const Range&) = delete;
    Range& operator=(const Range&) = delete;
    virtual ~Range() = default;
    virtual T coerce(const T& value) = 0;
    virtual bool areEqual(const T& a, const T& b) = 0;
};

template <class T>
struct DefaultComparison {
    bool operator()(const T& a, const T& b) const { return a == b; }
};

template <class T, class Compare = DefaultComparison<T>>
class NullRange : public Range<T> {
public:
    T coerce(const T& value) override { return value; }
    bool areEqual(const T& a, const T& b) override { return Compare()(a, b); }
};

// Accepts the offered values and the hidden ones; refuses others with
// errorCode, listing the offered values.
template <class T>
class EnumRange : public Range<T> {
public:
    EnumRange(uint32_t enumId, int32_t errorCode, std::initializer_list<T> values,
              std::initializer_list<T> hiddenValues = {})
        : enumId_(enumId), errorCode_(errorCode), values_(values), hiddenValues_(hiddenValues) {
        std::sort(values_.begin(), values_.end());
        std::sort(hiddenValues_.begin(), hiddenValues_.end());
    }
    T coerce(const T& value) override { return coerceValue(value); }
    bool areEqual(const T& a, const T& b) override { return a == b; }
    virtual T coerceValue(T value) {
        if (std::binary_search(values_.begin(), values_.end(), value) ||
            std::binary_search(hiddenValues_.begin(), hiddenValues_.end(), value)) {
            return value;
        }
        std::vector<int32_t> offered;
        offered.reserve(values_.size());
        for (const T& v : values_) offered.push_back(static_cast<int32_t>(v));
        throwEnumRefused(errorCode_, enumId_, static_cast<int32_t>(value), offered);
    }
    virtual bool valuesEqual(const T& a, const T& b) { return a == b; }

private:
    uint32_t enumId_;
    int32_t errorCode_;
    std::vector<T> values_;
    std::vector<T> hiddenValues_;
};

template <class T>
class Getter {
public:
    virtual ~Getter() = default;
    virtual void prepareGet(iattr::AttributeInterface<T>& attribute) = 0;
    virtual void refresh(iattr::AttributeInterface<T>& attribute) = 0;
};

template <class T>
class NullGetter : public Getter<T> {
public:
    void prepareGet(iattr::AttributeInterface<T>&) override {}
    void refresh(iattr::AttributeInterface<T>&) override {}
};

template <class T>
class Setter {
public:
    virtual ~Setter() = default;
    virtual void preSet(iattr::AttributeInterface<T>& attribute) = 0;
    virtual void preReset(iattr::AttributeInterface<T>& attribute) = 0;
    virtual void postSet(iattr::AttributeInterface<T>& attribute) = 0;
    virtual void postReset(iattr::AttributeInterface<T>& attribute) = 0;
};

template <class T>
class NullSetter : public Setter<T> {
public:
    void preSet(iattr::AttributeInterface<T>&) override {}
    void preReset(iattr::AttributeInterface<T>&) override {}
    void postSet(iattr::AttributeInterface<T>&) override {}
    void postReset(iattr::AttributeInterface<T>&) override {}
};

// Read-only to the public API: a set is refused with errorCode; the owner's
// writes and resets still work.
template <class T>
class NotSettable : public Setter<T> {
public:
    explicit NotSettable(int32_t errorCode) : errorCode_(errorCode) {}
    void preSet(iattr::AttributeInterface<T>& a) override {
        throwNotSettable(errorCode_, 62, a.getId(), a.getChannelName());
    }
    void preReset(iattr::AttributeInterface<T>&) override {}
    void postSet(iattr::AttributeInterface<T>& a) override {
        throwNotSettable(errorCode_, 70, a.getId(), a.getChannelName());
    }
    void postReset(iattr::AttributeInterface<T>&) override {}

private:
    int32_t errorCode_;
};

// One shared instance of each per value type; they hold nothing that changes.
template <class T>
Range<T>& nullRange() {
    static NullRange<T> range;
    return range;
}
template <class T>
Getter<T>& nullGetter() {
    static NullGetter<T> getter;
    return getter;
}
template <class T>
Setter<T>& nullSetter() {
    static NullSetter<T> setter;
    return setter;
}

template <class T>
class Attribute : public virtual iattr::AttributeInterface<T> {
public:
    // Range, getter and setter belong to the caller and must outlive the
    // attribute; null ones are the shared null instances. The default is
    // taken as it is, not through the range.
    Attribute(uint32_t id, const char* channelName, bool dirty, const T& defaultValue,
              Range<T>* range = nullptr, Getter<T>* getter = nullptr, Setter<T>* setter = nullptr)
        : id_(id),
          channelName_(channelName != nullptr ? channelName : ""),
          dirty_(dirty),
          defaultValue_(defaultValue),
          desiredValue_(defaultValue),
          coercedValue_(defaultValue),
          range_(range != nullptr ? range : &nullRange<T>()),
          getter_(getter != nullptr ? getter : &nullGetter<T>()),
          setter_(setter != nullptr ? setter : &nullSetter<T>()) {}
    Attribute(const Attribute&) = delete;
    Attribute& operator=(const Attribute&) = delete;

    iattr::AttributeInterface<T>& getAttribute() override { return *this; }
    uint32_t getId() const override { return id_; }
    const char* getChannelName() const override { return channelName_.c_str(); }
    Authorship getAuthorship() const { return authorship_; }
    bool isUserAuthored() const override { return authorship_ == kAuthorshipUser; }
    bool isInternallyAuthored() const override { return authorship_ == kAuthorshipInternal; }
    bool isDirty() const override { return dirty_; }
    void setDirty(bool dirty) override { dirty_ = dirty; }
    void reset() override { assign(defaultValue_, kAuthorshipDefault, Hooks::kReset); }
    void writeDesired(const T& value) override { assign(value, kAuthorshipInternal, Hooks::kNone); }
    void writeCoerced(const T& value) override { coercedValue_ = value; }
    T readDesired() const override { return desiredValue_; }
    T readCoerced() const override { return coercedValue_; }
    T readDefault() const override { return defaultValue_; }
    void setValue(const T& value) override { assign(value, kAuthorshipUser, Hooks::kSet); }
    T getValue() override {
        getter_->prepareGet(*this);
        getter_->refresh(*this);
        return coercedValue_;
    }
    T getDesiredValue() override { return readDesired(); }

private:
    enum class Hooks { kNone, kSet, kReset };

    // The one procedure behind every write of the desired value: nothing
    // changes (not even the dirty flag) for the same value by the same
    // author; a failure after the pre-hook puts the values back.
    void assign(const T& value, Authorship authorship, Hooks hooks) {
        const T oldDesired = desiredValue_;
        const T oldCoerced = coercedValue_;
        const Authorship oldAuthorship = authorship_;
        if (hooks == Hooks::kSet) setter_->preSet(*this);
        if (hooks == Hooks::kReset) setter_->preReset(*this);
        try {
            if (!(value == desiredValue_) || authorship != authorship_) {
                desiredValue_ = value;
                coercedValue_ = coerce(value);
                authorship_ = authorship;
                setDirty(true);
            }
            if (hooks == Hooks::kSet) setter_->postSet(*this);
            if (hooks == Hooks::kReset) setter_->postReset(*this);
        } catch (...) {
            desiredValue_ = oldDesired;
            coercedValue_ = oldCoerced;
            authorship_ = oldAuthorship;
            setDirty(true);
            throw;
        }
    }

    T coerce(const T& value) {
        try {
            return range_->coerce(value);
        } catch (qverr::ExceptionBase& exception) {
            identifyAttribute(exception, id_, channelName_);
            throw;
        }
    }

    Authorship authorship_ = kAuthorshipDefault;
    uint32_t id_;
    std::string channelName_;
    bool dirty_;
    T defaultValue_;
    T desiredValue_;
    T coercedValue_;
    Range<T>* range_;
    Getter<T>* getter_;
    Setter<T>* setter_;
};

}  // namespace atat
