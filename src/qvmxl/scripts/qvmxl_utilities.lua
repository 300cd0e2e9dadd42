-- Conversions between the three-letter language names of the scripts and
-- the names of the language directories.
local utilities = {}

local shortToLong = {
  eng = "English",
  jpn = "Japanese",
  chs = "ChineseS",
  fra = "French",
  deu = "German",
  kor = "Korean",
  zzz = "Zzzzzzz",
}

local longToShort = {
  English = "eng",
  Japanese = "jpn",
  ChineseS = "chs",
  French = "fra",
  German = "deu",
  Korean = "kor",
}

-- nil for a name that is not listed.
function utilities.convertLangShortToLong(short)
  return shortToLong[short]
end

function utilities.convertLangLongToShort(long)
  return longToShort[long]
end

return utilities
