// Narrow views of an attribute: what its owner, the registry and the public
// API may each do with it. atat::Attribute<T> implements all of them.
#pragma once

#include <cstdint>
#include <type_traits>

namespace iattr {

class AuthorshipInfoInterface {
public:
    virtual bool isInternallyAuthored() const = 0;
    virtual bool isUserAuthored() const = 0;
    virtual ~AuthorshipInfoInterface() = default;
};

class AttributeInfoBaseInterface : public virtual AuthorshipInfoInterface {
public:
    virtual uint32_t getId() const = 0;
    // Never null; "" for an attribute of no channel.
    virtual const char* getChannelName() const = 0;
};

class DirtyableInterface {
public:
    virtual void setDirty(bool dirty) = 0;
    virtual bool isDirty() const = 0;
    virtual ~DirtyableInterface() = default;
};

class ResetableInterface {
public:
    virtual void reset() = 0;
    virtual ~ResetableInterface() = default;
};

// What the registry stores.
class AttributeBaseInterface : public AttributeInfoBaseInterface,
                               public DirtyableInterface,
                               public ResetableInterface {};

// The value type an attribute of T shows through the public API:
// enumerations cross it as their signed 32-bit number.
template <class T>
struct APIType {
    using type = T;
};
template <class T>
requires std::is_enum_v<T>
struct APIType<T> {
    using type = int;
};
template <class T>
using APIType_t = typename APIType<T>::type;

template <class X>
class PublicAPIAttributeInterface {
public:
    virtual void setAPIValue(X value) = 0;
    virtual X getAPIValue() = 0;
    virtual X getAPIDesiredValue() = 0;
    virtual ~PublicAPIAttributeInterface() = default;
};

template <class T>
class AttributeInterface;

template <class T>
class APIAttribute : public AttributeBaseInterface,
                     public PublicAPIAttributeInterface<APIType_t<T>> {
public:
    using X = APIType_t<T>;
    virtual T getValue() = 0;
    virtual void setValue(const T& value) = 0;
    virtual T getDesiredValue() = 0;

    // An enumeration value is passed on unchecked: its range judges it.
    void setAPIValue(X value) override { setValue(static_cast<T>(value)); }
    X getAPIValue() override { return static_cast<X>(getValue()); }
    X getAPIDesiredValue() override { return static_cast<X>(getDesiredValue()); }
};

template <class T>
class AttributeAccessibleInterface {
public:
    virtual AttributeInterface<T>& getAttribute() = 0;
    virtual ~AttributeAccessibleInterface() = default;
};

template <class T>
class CoercedReaderAccessibleInterface {
public:
    virtual T readCoerced() const = 0;
    virtual ~CoercedReaderAccessibleInterface() = default;
};

template <class T>
class CoercedWriterAccessibleInterface {
public:
    virtual void writeCoerced(const T& value) = 0;
    virtual ~CoercedWriterAccessibleInterface() = default;
};

template <class T>
class DesiredReaderAccessibleInterface {
public:
    virtual T readDesired() const = 0;
    virtual ~DesiredReaderAccessibleInterface() = default;
};

template <class T>
class DesiredWriterAccessibleInterface : public DesiredReaderAccessibleInterface<T>,
                                         public virtual AuthorshipInfoInterface {
public:
    virtual void writeDesired(const T& value) = 0;
};

template <class T>
class DefaultInfoInterface {
public:
    virtual T readDefault() const = 0;
    virtual ~DefaultInfoInterface() = default;
};

template <class T>
class AttributeInterface : public virtual APIAttribute<T>,
                           public virtual AttributeAccessibleInterface<T>,
                           public virtual CoercedReaderAccessibleInterface<T>,
                           public virtual CoercedWriterAccessibleInterface<T>,
                           public virtual DesiredWriterAccessibleInterface<T>,
                           public virtual DefaultInfoInterface<T> {};

}  // namespace iattr
