-- What wixl cannot say in dialpass.wxs, applied by tools/package.sh with msibuild, one statement a line.
-- The database component: permanent (0x10) and 64-bit (0x100), installed only when the installation
-- folder holds no database yet.
UPDATE Component SET Attributes = 272, Condition = 'NOT (INSTALLED_DATABASE ~= FOLDER_DATABASE)' WHERE Component = 'Database'
-- INSTALLED_DATABASE: database.ver in the folder that "InstallDir" names, when it is there.
INSERT INTO Signature (Signature, FileName) VALUES ('InstalledDatabaseSearch', 'database.ver')
-- FOLDER_DATABASE: database.ver in this package's installation folder (dialpass.wxs's directories), so
-- that a database in some other folder that "InstallDir" once named does not count.
INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('SetFolderDatabase', 51, 'FOLDER_DATABASE', '[LocalAppDataFolder]Programs\Kestrova\Dialpass\database.ver')
INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('SetFolderDatabase', 60)
-- The old version is removed after the new one is in place, so components both share (same GUIDs)
-- stay, and the RemoveFile rows of the registration component do not run during an upgrade.
INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('InstallExecute', 6500)
UPDATE InstallExecuteSequence SET Sequence = 6550 WHERE Action = 'RemoveExistingProducts'
-- The same version installed again from another build takes the place of the installed product (one
-- entry in the list of programs; files of an equal version stay): the row that finds older versions
-- takes its own version too (0x200, maximum inclusive; key columns cannot be updated, so a new row).
DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'
INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES ('{5B0E2C1A-7D43-4F0B-9A61-2E8C3D7F1A40}', '@VERSION@', 513, 'WIX_UPGRADE_DETECTED')
-- The same package run again repairs: every file is checked and what is missing is put back.
INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('RepairWhenInstalled', 51, 'REINSTALL', 'ALL')
INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('RepairWhenInstalled', 'Installed AND NOT REMOVE AND NOT REINSTALL', 990)
