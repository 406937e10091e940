-- What wixl cannot say in dialpass.wxs, applied by tools/package.sh with msibuild, one statement a line.
-- The database component: permanent (0x10: an upgrade's removal of the old version leaves it), transitive
-- (0x40: its condition is evaluated again at each repair, so that a repair can put in the set that an
-- earlier run left out), 64-bit (0x100), keyed by a registry value (0x4), and installed only where the
-- folder holds the shipped set or none. A repair never finds the condition false: CheckShippedDatabase
-- then takes the database's feature out of REINSTALL, so a transitive removal cannot happen.
UPDATE Component SET Attributes = 340, Condition = 'DATABASE_SHIPPED' WHERE Component = 'Database'
-- Its feature cannot be set absent (0x10).
UPDATE Feature SET Attributes = 16 WHERE Feature = 'Database'
-- Upgrades, repairs and the removal act on the folder the installed version is in (chosen at the first
-- install with INSTALLFOLDER=...); a fresh install ignores an "InstallDir" that no package of ours wrote.
INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('KeepInstallFolder', 51, 'INSTALLFOLDER', '[INSTALLED_FOLDER]')
INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('KeepInstallFolder', 'INSTALLED_FOLDER AND (Installed OR WIX_UPGRADE_DETECTED)', 55)
INSERT INTO InstallUISequence (Action, Condition, Sequence) VALUES ('KeepInstallFolder', 'INSTALLED_FOLDER AND (Installed OR WIX_UPGRADE_DETECTED)', 55)
-- The same package run again repairs: every file is checked and what is missing is put back (set before
-- CheckShippedDatabase, which may leave the database out of it).
INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('RepairWhenInstalled', 51, 'REINSTALL', 'ALL')
INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('RepairWhenInstalled', 'Installed AND NOT REMOVE AND NOT REINSTALL', 58)
-- DATABASE_SHIPPED, and REINSTALL without the database when the folder holds another set: in the folder
-- this run installs to (after KeepInstallFolder), before costing evaluates the component's condition.
INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('CheckShippedDatabase', 60)
-- The Control Panel's "Cpls" value is REG_EXPAND_SZ (#%), as Windows' documentation asks.
UPDATE Registry SET Value = '#%[INSTALLFOLDER]dialpass.cpl' WHERE Component_ = 'Registration' AND Name = 'Kestrova Dialpass'
-- The list of programs shows where it is installed.
INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('SetInstallLocation', 51, 'ARPINSTALLLOCATION', '[INSTALLFOLDER]')
INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('SetInstallLocation', 1010)
-- The old version is removed after the new one's files and registry values are in place, so that the
-- components both share (same GUIDs) keep a client and stay: their files, and the RemoveFile rows of the
-- registration component (the database), are not touched. The new version registers and publishes itself
-- (RegisterProduct, PublishFeatures, PublishProduct) after that removal: Wine's msiexec deletes the whole
-- upgrade-code keys when it removes the old product, where Windows removes only that product's values.
-- ICE63 allows RemoveExistingProducts right after InstallExecute.
INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('InstallExecute', 6010)
UPDATE InstallExecuteSequence SET Sequence = 6020 WHERE Action = 'RemoveExistingProducts'
-- The same version installed again from another build takes the place of the installed product (one
-- entry in the list of programs; files of an equal version stay): the row that finds older versions
-- takes its own version too (0x200, maximum inclusive; key columns cannot be updated, so a new row).
DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'
INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES ('{5B0E2C1A-7D43-4F0B-9A61-2E8C3D7F1A40}', '@VERSION@', 513, 'WIX_UPGRADE_DETECTED')
-- Removal: the components' key-path values go with the registration (the database's component is
-- permanent), the "Programs" folder when empty (ICE64), and the updater's temporary folder when empty.
INSERT INTO Registry (Registry, Root, `Key`, Name, Component_) VALUES ('RemovePackageKey', 1, 'SOFTWARE\Kestrova\Dialpass\Package', '-', 'Registration')
INSERT INTO RemoveFile (FileKey, Component_, DirProperty, InstallMode) VALUES ('RemoveProgramsFolder', 'Registration', 'UserProgramsFolder', 2)
INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('SetUpdaterFolder', 51, 'UPDATER_FOLDER', '[WindowsVolume]Temp\Dialpass\')
INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('SetUpdaterFolder', 1020)
INSERT INTO RemoveFile (FileKey, Component_, DirProperty, InstallMode) VALUES ('RemoveUpdaterFolder', 'Registration', 'UPDATER_FOLDER', 2)
