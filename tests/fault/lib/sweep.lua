-- The fault-injection sweep: a scenario runs once as it is, to count the
-- host allocations and host file calls it makes, then once per counted
-- call with exactly that call failing. Every run must end either with the
-- clean run's result or with one of the scenario's documented errors,
-- leave no host memory behind, and leave every archive it touched on disk
-- in one of the states the clean run went through (checked byte for byte,
-- and otherwise by unzip -t and a content digest).
--
--   local S = require("sweep")
--   S.scenario{
--     name = "...",
--     archives = {path, ...},   -- files whose state on disk is checked
--     setup = function() end,   -- restores the inputs before every run
--     run = function() return result end,  -- result: any plain value
--     errors = {"Out of memory!", ...},    -- accepted messages (exact)
--     verify = function() end,  -- optional: more checks after each run
--   }
--   S.finish()  -- prints the table of injection points, then T.finish()
--
-- Inside run, S.checkpoint() marks a state of the archives that a failure
-- may leave behind (each change the scenario makes that is written at
-- once); the state before the run and the final one always count.
local T = require("testlib")

local S = {T = T}

local KINDS = {"alloc", "open", "read", "write", "seek", "examine"}

-- Accepted archive states per path of the scenario being swept; set only
-- while its clean run records them.
local recording = nil

-- One line of the final table per scenario.
local rows = {}

local verbose = os.getenv("SWEEP_VERBOSE") ~= nil

local function arm(kind, n)
  if kind == "alloc" then host.failalloc(n) else host.failio(kind, n) end
end

local function disarm()
  host.failalloc(0)
  for _, kind in ipairs(KINDS) do
    if kind ~= "alloc" then host.failio(kind, 0) end
  end
end

-- Calls made since before, per kind.
local function callsSince(before)
  local now, made = host.faultcounts(), {}
  for _, kind in ipairs(KINDS) do made[kind] = now[kind] - before[kind] end
  return made
end

-- Plain text of a result value: tables with their keys sorted.
local function serialize(value)
  if type(value) ~= "table" then
    return type(value) == "string" and string.format("%q", value) or tostring(value)
  end
  local keys = {}
  for k in pairs(value) do keys[#keys + 1] = k end
  table.sort(keys, function(a, b) return tostring(a) < tostring(b) end)
  local parts = {}
  for _, k in ipairs(keys) do parts[#parts + 1] = tostring(k) .. "=" .. serialize(value[k]) end
  return "{" .. table.concat(parts, ",") .. "}"
end

-- The bytes of a file, or false when there is none.
local function snapshot(path)
  local f = io.open(path, "rb")
  if not f then return false end
  local bytes = f:read("a")
  f:close()
  return bytes
end

-- The digest checker: hashes every entry's name, comment, size, CRC and
-- data (AES entries, which python cannot decrypt, only by the rest; 7z
-- tests them), runs unzip -t (or 7z t when there are AES entries), and
-- prints one digest, or "BAD: ..." when the archive is not sound.
local CHECKER = [[
import hashlib, subprocess, sys, zipfile, struct
path, password = sys.argv[1], sys.argv[2]
try:
    h = hashlib.sha256()
    aes = False
    with zipfile.ZipFile(path) as z:
        h.update(z.comment)
        for info in z.infolist():
            h.update(info.filename.encode('utf-8', 'surrogateescape') + b'\0' + info.comment + b'\0')
            h.update(struct.pack('<QI', info.file_size, info.CRC))
            if info.flag_bits & 1 and info.compress_type == 99:
                aes = True
                h.update(b'AES')
            else:
                h.update(z.read(info, pwd=password.encode()))
    if aes:
        tool = ['7z', 't', '-p' + password, path]
    else:
        tool = ['unzip', '-tqq', '-P', password, path]
    r = subprocess.run(tool, capture_output=True)
    if r.returncode != 0:
        print('BAD: ' + ' '.join(tool[:2]) + ': ' + (r.stdout + r.stderr).decode(errors='replace').strip()[-300:])
    else:
        print(h.hexdigest())
except Exception as e:
    print('BAD: %s' % e)
]]

-- The system's python starts far faster than a version manager's shim.
local python = io.open("/usr/bin/python3") and "/usr/bin/python3" or "python3"

local checkerPath = T.path(".sweep_check.py")
T.writefile(checkerPath, CHECKER)

-- Digest per distinct archive bytes, so that each version is checked once.
local digests = {}

-- The content digest of archive bytes (or "absent"); "BAD: ..." when the
-- archive fails its checks.
local function digest(bytes, password)
  if bytes == false then return "absent" end
  if bytes == "" then return "empty file" end
  local known = digests[bytes]
  if known then return known end
  local tmp = T.path(".sweep_check.zip")
  T.writefile(tmp, bytes)
  local out = T.sh(string.format("%s '%s' '%s' '%s'", python, checkerPath, tmp, password or "none"))
  out = out:gsub("%s+$", "")
  digests[bytes] = out
  return out
end

-- Records the current state of the scenario's archives as accepted.
local function record(scenario)
  for _, path in ipairs(scenario.archives) do
    local bytes = snapshot(path)
    local accepted = recording[path]
    accepted.bytes[bytes] = true
    local sum = digest(bytes, scenario.password)
    if sum:find("^BAD") then error("the clean run left a bad archive " .. path .. ": " .. sum, 0) end
    accepted.digests[sum] = true
    accepted.last, accepted.lastBytes = sum, bytes
  end
end

-- Marks the archives' current state as one a failure may leave behind.
function S.checkpoint()
  if S.current and recording then record(S.current) end
end

-- Files whose names begin with the archive's name and that are not in
-- the clean run's listing: temporary files left behind by a failed write.
local function strayFiles(scenario, expected)
  local stray = {}
  for _, path in ipairs(scenario.archives) do
    local dir, base = path:match("^(.*)/([^/]+)$")
    for _, info in ipairs(host.listdir(dir)) do
      local name = info.name:match("([^/]+)$")
      if name ~= base and name:sub(1, #base) == base and not expected[dir .. "/" .. name] then
        stray[#stray + 1] = dir .. "/" .. name
      end
    end
  end
  return stray
end

-- The files next to the scenario's archives after the clean run.
local function listing(scenario)
  local seen = {}
  for _, path in ipairs(scenario.archives) do
    local dir = path:match("^(.*)/[^/]+$")
    for _, info in ipairs(host.listdir(dir)) do seen[dir .. "/" .. info.name:match("([^/]+)$")] = true end
  end
  return seen
end

-- Whether message is one of the scenario's accepted errors.
local function acceptedError(scenario, message)
  for _, want in ipairs(scenario.errors) do
    if message == want then return true end
  end
  return false
end

-- Runs the scenario once; returns ok and the result or error message.
local function runOnce(scenario)
  local ok, result = pcall(scenario.run)
  disarm()
  collectgarbage()
  return ok, ok and serialize(result) or tostring(result)
end

-- Checks the archives on disk after an injected run against the states
-- the clean run recorded: after a success only its final state will do.
local function checkArchives(scenario, states, succeeded)
  for _, path in ipairs(scenario.archives) do
    local accepted = states[path]
    local bytes = snapshot(path)
    if succeeded then
      if bytes ~= accepted.lastBytes and digest(bytes, scenario.password) ~= accepted.last then
        error(path .. ": success reported, but the archive is not its new version: " .. digest(bytes, scenario.password), 0)
      end
    elseif not accepted.bytes[bytes] and not accepted.digests[digest(bytes, scenario.password)] then
      error(path .. ": neither the old nor a new complete version: " .. digest(bytes, scenario.password), 0)
    end
  end
end

-- Sweeps one scenario: the clean run, then one run per injection point.
function S.scenario(scenario)
  S.current = scenario
  scenario.archives = scenario.archives or {}
  disarm()
  scenario.setup()
  recording = {}
  for _, path in ipairs(scenario.archives) do recording[path] = {bytes = {}, digests = {}} end
  record(scenario)
  local before = host.faultcounts()
  local blocks = host.memory().blocks
  local ok, clean = runOnce(scenario)
  local calls = callsSince(before)
  if not ok then
    T.case(scenario.name .. ": clean run", function() error("the scenario fails without injection: " .. clean, 0) end)
    recording = nil
    S.current = nil
    return
  end
  T.case(scenario.name .. ": clean run", function()
    T.eq(host.memory().blocks, blocks, "host blocks after the clean run")
  end)
  record(scenario)
  local cleanFiles = listing(scenario)
  local states = recording
  recording = nil

  local row = {name = scenario.name, total = 0}
  for _, kind in ipairs(KINDS) do
    row[kind] = calls[kind]
    row.total = row.total + calls[kind]
    for n = 1, calls[kind] do
      local label = string.format("%s: %s #%d of %d", scenario.name, kind, n, calls[kind])
      if verbose then io.stderr:write(label, "\n") end
      scenario.setup()
      T.case(label, function()
        local start = host.faultcounts()
        arm(kind, n)
        local succeeded, outcome = runOnce(scenario)
        local fired = callsSince(start)[kind] >= n
        T.eq(host.memory().blocks, 0, "host blocks left")
        if succeeded then
          if outcome ~= clean then
            error(string.format("%s: reported success with a different result\n  got  %s\n  want %s",
              fired and "failure" or "no failure", outcome, clean), 0)
          end
        elseif not acceptedError(scenario, outcome) then
          error("undocumented error: " .. outcome, 0)
        end
        checkArchives(scenario, states, succeeded)
        local stray = strayFiles(scenario, cleanFiles)
        for _, path in ipairs(stray) do os.remove(path) end
        if #stray > 0 then error("left behind: " .. table.concat(stray, ", "), 0) end
        if scenario.verify then scenario.verify() end
      end)
    end
  end
  rows[#rows + 1] = row
  S.current = nil
end

-- Prints the injection points per scenario and the final count line.
function S.finish()
  print(string.format("%-44s %6s %5s %5s %5s %5s %7s %6s", "scenario", "alloc", "open", "read", "write", "seek",
    "examine", "total"))
  local sum = 0
  for _, row in ipairs(rows) do
    print(string.format("%-44s %6d %5d %5d %5d %5d %7d %6d", row.name:sub(1, 44), row.alloc, row.open, row.read,
      row.write, row.seek, row.examine, row.total))
    sum = sum + row.total
  end
  print(string.format("%d injection points in %d scenarios", sum, #rows))
  T.finish()
end

-- A to-be-closed value that discards archive id when the scope ends, so a
-- run that stops half-way leaves no archive open.
function S.discarding(id)
  return setmetatable({}, {__close = function() pcall(zip.CloseArchive, id, 1) end})
end

-- value, or an error "<what> failed" (how scenarios report a decline).
function S.must(value, what)
  if value == nil or value == false then error(what .. " failed", 0) end
  return value
end

-- Reads exactly n bytes (fewer only at the end of the file, nothing after
-- it); a read error or a short read before the end is a failure.
function S.read(f, n, what)
  local data, msg = f:read(n)
  data = data or ""
  if msg or (#data < n and not f:eof()) then error(what .. " failed", 0) end
  return data
end

return S
