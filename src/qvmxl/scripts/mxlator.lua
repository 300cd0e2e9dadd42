-- The translator of this library's errors: a status code becomes its
-- localized explanation (getStaticDesc), an error-context JSON a localized
-- list of labelled items (getDynamicDesc, format "json1").
local cjson = require("cjson")
local utils = require("qvxlatorluautils")
local languages = require("qvmxl_utilities")

local mxlator = {}

-- By language number + 1.
mxlator.ThreeLetterLngStrings = { "eng", "fra", "deu", "jpn", "kor", "chs" }

-- Development-environment names by hint + 1.
mxlator.Ades = { "none", "kx", "script", "textual" }

local kUnsupportedFormat = -52029

-- Usage types whose values are attribute numbers.
local attributeUsageTypes = {
  kUsageTypeAttributeId = true,
  kUsageTypeAttributeIdentifier = true,
  kUsageTypeAffectedAttribute = true,
  kUsageTypeConflictingAttr = true,
  kUsageTypeConflictingProperty = true,
  kUsageTypeUnspecifiedProperty = true,
}

-- Names of optional modules that could not be required: looking again on
-- every call would cost a failed search and its message each time. The
-- module lives in one translator's state, so a miss is kept per translator.
local missing = {}

local function requireOptional(name)
  if missing[name] then
    return nil
  end
  local ok, module = pcall(require, name)
  if ok and type(module) == "table" then
    return module
  end
  missing[name] = true
  return nil
end

local function checkEncoding(table)
  if table.encoding ~= "utf-8" then
    error("Unsupported encoding", 0)
  end
end

-- ---- static descriptions

local function searchDir(dir, code, lang)
  local ok, found = pcall(utils.findErrorDescriptionFromDir, dir, code)
  if ok and found ~= nil then
    return utils.mbsToUtf8(lang, found)
  end
  return nil
end

local function searchErrorsDir(dir, code, lang)
  local ok, found = pcall(utils.findErrorDescriptionFromErrorsDir, dir, code, lang)
  if ok and found ~= nil then
    return utils.mbsToUtf8(lang, found)
  end
  return nil
end

-- Looked up in this order, each time in the asked language, then English:
-- an error table module, the driver's directory under ZMErrorsDir, the
-- standard errors directory.
function mxlator.getStaticDesc(code, lang, ade)
  local pathsep = string.sub(package.config, 1, 1)
  local lang3 = mxlator.ThreeLetterLngStrings[lang + 1] or "zzz"
  local languageDir = languages.convertLangShortToLong(lang3)
  local settings = qvxlatorlua_settings
  local standardErrDir = utils.expandPath(qvxlatorlua_name, settings.qvSharedErrorsDir)
  code = qvmxl_unmapErrorCode(code)

  local desc = nil
  local errors = requireOptional("errors_" .. lang3)
  if errors == nil and lang3 ~= "eng" then
    errors = requireOptional("errors_eng")
  end
  if errors ~= nil then
    checkEncoding(errors)
    desc = errors.getString(code)
  end

  if desc == nil and settings.ZMErrorsDir ~= nil and settings.driverName ~= nil then
    local dir = utils.expandPath(qvxlatorlua_name, settings.ZMErrorsDir)
      .. pathsep .. settings.driverName .. pathsep
    desc = searchDir(dir .. languageDir, code, lang)
    if desc == nil and languageDir ~= "English" then
      desc = searchDir(dir .. "English", code, 0)
    end
  end
  if desc == nil then
    desc = searchErrorsDir(standardErrDir, code, lang)
  end
  if desc == nil then
    desc = searchErrorsDir(standardErrDir, code, 0)
  end
  if desc == nil then
    desc = "Error description not found"
  end
  return desc
end

-- ---- dynamic descriptions

local function textOf(value)
  if value == cjson.null then
    return "null"
  end
  return tostring(value)
end

-- The term of a usage-type key in the language's table, or the key itself.
local function term(terms, key)
  if terms == nil then
    return key
  end
  checkEncoding(terms)
  local text = terms.getString(key)
  if text == nil then
    return key
  end
  return text
end

-- The identifier text of an attribute number, as the attribute tables
-- index them.
local function attributeId(number)
  local id = tonumber(number)
  -- "%X" takes the number as a 64-bit integer (two's complement when
  -- negative); beyond that range, or for what is no number, the value's
  -- text stands instead.
  if id ~= nil and id >= -2 ^ 63 and id < 2 ^ 63 then
    return string.format("%08X", id)
  end
  return textOf(number)
end

-- The table's attribute of an identifier, or nil.
local function findAttribute(attributes, attrid)
  if attributes == nil then
    return nil
  end
  local found = attributes.getAttribute(attrid)
  if found ~= nil then
    checkEncoding(attributes)
  end
  if type(found) ~= "table" then
    return nil
  end
  return found
end

-- An attribute the table does not describe has no names for its values.
local noEnums = {}

-- Value converters: (context, element) to the element's text.
local function plainText(_, element)
  return textOf(element)
end

local function attributeName(attributes, element)
  local attrid = attributeId(element)
  local found = findAttribute(attributes, attrid)
  if found == nil then
    return "0x" .. attrid
  end
  if found.shortName == nil then
    return textOf(element)
  end
  return found.shortName
end

local function enumName(enums, element)
  local text = textOf(element)
  local name = enums[text]
  if name == nil then
    return text
  end
  return name
end

-- A scalar, or each element of an array, through `convert`.
local function mapValue(value, convert, context)
  if type(value) == "table" then
    local list = {}
    for i, element in ipairs(value) do
      list[i] = convert(context, element)
    end
    return list
  end
  return convert(context, value)
end

-- The first attribute table found: the driver's for the language and
-- development environment, then the same in English, then without the
-- environment, then the default table.
local function loadAttributeTable(settings, lang3, ade, adeName)
  local tried = nil
  local attributes = nil
  local driverName = settings.driverName
  if driverName ~= nil then
    if ade ~= 0 then
      tried = driverName .. "_attributes_" .. lang3 .. "_" .. adeName
      attributes = requireOptional(tried)
      if attributes == nil and lang3 ~= "eng" then
        tried = driverName .. "_attributes_eng_" .. adeName
        attributes = requireOptional(tried)
      end
    end
    if attributes == nil then
      tried = driverName .. "_attributes_" .. lang3
      attributes = requireOptional(tried)
    end
    if attributes == nil and lang3 ~= "eng" then
      tried = driverName .. "_attributes_eng"
      attributes = requireOptional(tried)
    end
  end
  if attributes == nil then
    tried = "qvmxl_defaultAttrTable"
    attributes = requireOptional(tried)
  end
  if attributes == nil then
    return nil, "Cannot load " .. tried .. "\n"
  end
  return attributes, ""
end

-- The attribute table (with the text of its failure) and the terms table
-- of a language and development environment. Found modules stay loaded and
-- misses are kept, so the answer for one pair never changes: it is looked
-- up once per translator.
local tablesByLanguage = {}

local function tablesFor(settings, lang3, ade, adeName)
  local byAde = tablesByLanguage[lang3]
  if byAde == nil then
    byAde = {}
    tablesByLanguage[lang3] = byAde
  end
  local tables = byAde[ade]
  if tables ~= nil and tables.driverName == settings.driverName then
    return tables
  end
  local attributes, internalError = loadAttributeTable(settings, lang3, ade, adeName)
  local terms = requireOptional("commonTerms_" .. lang3)
  if terms == nil and lang3 ~= "eng" then
    terms = requireOptional("commonTerms_eng")
  end
  tables = {
    driverName = settings.driverName,
    attributes = attributes,
    internalError = internalError,
    terms = terms,
  }
  byAde[ade] = tables
  return tables
end

function mxlator.getDynamicDesc(errjson, lang, ade, format)
  if format ~= "json1" then
    return kUnsupportedFormat
  end
  local errorContext = cjson.decode(errjson)
  if type(errorContext) ~= "table" then
    error("error context is not a JSON object")
  end

  local lang3 = mxlator.ThreeLetterLngStrings[lang + 1]
  if lang3 == nil then
    lang3 = "zzz"
    lang = 0
  end
  local adeName = mxlator.Ades[ade + 1]
  local settings = qvxlatorlua_settings

  local tables = tablesFor(settings, lang3, ade, adeName)
  local attributes = tables.attributes
  local internalError = tables.internalError
  local terms = tables.terms

  local items = {}
  local info = errorContext.translator_info
  local orderedData = type(info) == "table" and info.ordered_data or nil
  if type(orderedData) == "table" then
    for _, v in ipairs(orderedData) do
      if type(v) == "table" then
        local itemType = v.type
        if itemType == "usage" then
          -- One constructor builds each item, so it never grows. (Its
          -- members are encoded in the order of the table's slots.)
          local key = term(terms, v.usage)
          local valueType = v.value_type
          if type(valueType) ~= "table" then
            local value
            if attributeUsageTypes[v.usage] then
              value = mapValue(v.value, attributeName, attributes)
            else
              value = mapValue(v.value, plainText)
            end
            items[#items + 1] = { type = "usage", key = key, value = value }
          elseif valueType.type == "enum" then
            local a = findAttribute(attributes, attributeId(valueType.id))
            local enums = a ~= nil and type(a.enums) == "table" and a.enums or noEnums
            items[#items + 1] = { type = "usage", key = key, value = mapValue(v.value, enumName, enums) }
          else
            items[#items + 1] = { type = "usage", key = key }
          end
        elseif itemType == "elaboration" then
          items[#items + 1] = { type = "elaboration", value = term(terms, v.usage) }
        elseif itemType == "header" then
          items[#items + 1] = { type = "header", value = term(terms, v.usage) }
        elseif itemType == "empty" then
          items[#items + 1] = { type = "empty" }
        end
      end
    end
  end

  local debugList = {}
  if errorContext.component ~= nil then
    debugList[#debugList + 1] = { type = "usage", key = "Component", value = errorContext.component }
  end
  if errorContext.file ~= nil then
    debugList[#debugList + 1] = { type = "usage", key = "File", value = errorContext.file }
  end
  if errorContext.line ~= nil then
    debugList[#debugList + 1] = { type = "usage", key = "Line", value = textOf(errorContext.line) }
  end
  if internalError ~= "" then
    debugList[#debugList + 1] = { type = "usage", key = "internal_error_string", value = internalError }
  end
  errorContext.translator_info = nil
  errorContext.component = nil
  errorContext.file = nil
  errorContext.line = nil
  debugList[#debugList + 1] = {
    type = "usage",
    key = "rest_of_input_json",
    value = cjson.encode(errorContext),
  }

  return cjson.encode({ dynamic = items, debug = debugList })
end

return mxlator
