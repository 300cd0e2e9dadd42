-- Environment of a translator state: decodes the registration information,
-- sets the module search path and loads the translator module.
local json = require("json")
require("stdint")
local utils = require("qvxlatorluautils")

qvxlatorlua_name = nil
qvxlatorlua_xlator = nil
qvxlatorlua_settings = {}

-- Message handler of every translator call: the message and where it came from.
function qvxlatorlua_errHandler(errorIn)
  return tostring(errorIn) .. "\n" .. debug.traceback()
end

-- ';'-separated directories of "qvxlatorlua_path", with path variables
-- expanded, as a package.path.
local function searchPath(directories)
  local parts = {}
  for part in string.gmatch(directories, "[^;]+") do
    part = utils.expandPath(qvxlatorlua_name, part)
    part = string.gsub(part, "\\", "/")
    if string.sub(part, -1) ~= "/" then
      part = part .. "/"
    end
    parts[#parts + 1] = part .. "?.lua"
  end
  return table.concat(parts, ";")
end

function qvxlatorlua_setupEnv(name, registrationInfo)
  local info = json.decode(registrationInfo)
  if type(info) ~= "table" then
    error("registration information is not a JSON object")
  end
  qvxlatorlua_name = name

  -- Only the preloaded modules and the registered directories are searched,
  -- never what LUA_PATH and LUA_CPATH said; no compiled module is loaded.
  local path = info.qvxlatorlua_path
  if path == nil then
    package.path = ""
  elseif type(path) == "string" then
    package.path = searchPath(path)
  else
    error("qvxlatorlua_path must be a string")
  end
  package.cpath = ""

  qvxlatorlua_xlator = require(info.qvxlatorlua_xlator)

  local settings = info.qvxlatorlua_settings
  if settings ~= nil then
    if type(settings) ~= "table" then
      error("qvxlatorlua_settings must be an object")
    end
    qvxlatorlua_settings = settings
  end
end
